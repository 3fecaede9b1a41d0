#pragma once
// The command groups of velmo-device. Each group adds its subcommands to the app;
// a command reports a wrong argument by throwing UsageError (exit status 2) and
// any other failure by throwing std::runtime_error (exit status 1).

#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

namespace velmo::cli {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void AddRegistryCommands(CLI::App& app);
void AddContactsCommands(CLI::App& app);
void AddContactActionCommand(CLI::App& contacts);  // contacts action
void AddMessageCommands(CLI::App& app);   // inbox, blocked
void AddSmsCommands(CLI::App& app);       // sms receive
void AddRulesCommands(CLI::App& app);     // rules
void AddInstallCommands(CLI::App& app);   // install, uninstall
void AddTodayCommands(CLI::App& app);     // today

}  // namespace velmo::cli
