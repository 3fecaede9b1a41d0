#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/velmo-device/Commands.h"

namespace {

std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// What the command takes, for an argument it does not: CLI11's own words name neither the
// command nor what it expects, and list the arguments backwards.
std::string ExplainExtras(const CLI::App& app) {
    // The command that was being read, as a person types it: "contacts add".
    const CLI::App* command = &app;
    std::string name;
    while (!command->get_subcommands().empty()) {
        command = command->get_subcommands().back();
        name += (name.empty() ? "" : " ") + command->get_name();
    }
    std::vector<std::string> options;
    std::string positionals;
    for (const CLI::Option* option : command->get_options()) {
        if (option->get_positional()) {
            positionals += " " + option->get_name();
        } else {
            for (const auto& longName : option->get_lnames()) options.push_back("--" + longName);
        }
    }
    std::string takes = name.empty() ? "the command" : name;
    std::string text;
    for (const std::string& extra : app.remaining(true)) {
        if (extra.size() < 2 || extra[0] != '-') continue;
        std::string option = extra.substr(0, extra.find('='));
        text += (text.empty() ? "" : "; ") + takes + " has no option " + option;
        auto closest = std::min_element(options.begin(), options.end(), [&](const auto& a, const auto& b) {
            return EditDistance(option, a) < EditDistance(option, b);
        });
        if (closest != options.end() && EditDistance(option, *closest) <= 2)
            text += " (did you mean " + *closest + "?)";
    }
    if (text.empty()) {
        std::string extras;
        for (const std::string& extra : app.remaining(true)) extras += (extras.empty() ? "\"" : " \"") + extra + "\"";
        text = takes + " does not take " + extras + ": it takes " +
               (positionals.empty() ? std::string("no further arguments") : positionals.substr(1));
    }
    std::string list;
    for (const auto& option : options) list += (list.empty() ? "" : ", ") + option;
    if (!options.empty()) text += "; its options are " + list;
    return text + "\nRun velmo-device " + (name.empty() ? "" : name + " ") + "--help for more.";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "velmo-device: the stand-in handheld on which Velmo runs.\n"
        "The device lives in $VELMO_DEVICE (default ~/.local/share/velmo/device)."};
    app.require_subcommand(1);
    velmo::cli::AddRegistryCommands(app);
    velmo::cli::AddContactsCommands(app);
    velmo::cli::AddMessageCommands(app);
    velmo::cli::AddSmsCommands(app);
    velmo::cli::AddRulesCommands(app);
    velmo::cli::AddExportCommands(app);
    velmo::cli::AddInstallCommands(app);
    velmo::cli::AddTodayCommands(app);
    velmo::cli::AddMessagingCommands(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // An unknown option is the fault to name, even where CLI11 reports what followed from it.
        auto remaining = app.remaining(true);
        bool unknownOption = std::any_of(remaining.begin(), remaining.end(),
                                         [](const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; });
        if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr || unknownOption) {
            std::cerr << "velmo-device: " << ExplainExtras(app) << "\n";
        } else {
            app.exit(e);
        }
        return 2;
    } catch (const velmo::cli::UsageError& e) {
        std::cerr << "velmo-device: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "velmo-device: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
