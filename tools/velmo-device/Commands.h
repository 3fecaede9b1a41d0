#pragma once
// The command groups of velmo-device. Each group adds its subcommands to the app;
// a command reports a wrong argument by throwing UsageError (exit status 2) and
// any other failure by throwing std::runtime_error (exit status 1).

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

namespace velmo {
class ContactsConnection;
}
#ifdef VELMO_HAVE_TODAY_SCREEN
class QGuiApplication;
#endif

namespace velmo::cli {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void AddRegistryCommands(CLI::App& app);
void AddContactsCommands(CLI::App& app);
void AddContactActionCommand(CLI::App& contacts);  // contacts action
void AddMessageCommands(CLI::App& app);            // inbox, blocked
void AddSmsCommands(CLI::App& app);                // sms receive
void AddRulesCommands(CLI::App& app);              // rules
void AddInstallCommands(CLI::App& app);            // install, uninstall
void AddTodayCommands(CLI::App& app);              // today
void AddMessagingCommands(CLI::App& app);          // messaging

// A handheld always has an address book, empty at first, and so has the device from the
// first command that writes to it. A missing contacts.db is replaced by an empty one only
// while no ContactsInfo.dat of the device keeps a contact's action: otherwise the book was
// there and has gone, and the next rebuild from an empty one would drop those actions.
// The words that say why no empty book may take the missing one's place; empty when it may.
std::string WhyNoEmptyAddressBook();
// Makes the empty address book when it is missing and may be made; answers what it did or
// why it did not, for a person to read (empty when the book was there).
std::string CreateEmptyAddressBook();

// Opens the address book for a command that changes the contacts' actions; false when it is
// missing and an empty one may take its place (CreateEmptyAddressBook). Throws when it is
// there and cannot be opened, or is missing and may not be replaced, adding leftAsIs.
bool OpenAddressBookToChange(ContactsConnection& contacts, const std::string& leftAsIs);

// Whether VelmoLight runs on this device, found as its second start finds it: by its caption.
// While it runs it holds ContactsInfo.dat mapped, and a file put in its place would not reach it.
bool VelmoLightRuns();
void AddExportCommands(CLI::App& app);  // export, import

#ifdef VELMO_HAVE_TODAY_SCREEN
// Makes the application of a screen with make, once it is clear that there is a display to
// show it on: a UsageError naming the screen when none is named, and the same words with exit
// status 2 when the one named cannot be reached.
std::unique_ptr<QGuiApplication> StartScreenApplication(const std::string& screen,
                                                        const std::function<std::unique_ptr<QGuiApplication>()>& make);
#endif

}  // namespace velmo::cli
