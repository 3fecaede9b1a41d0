#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "common/Version.h"
#include "device/DeviceRoot.h"
#include "device/VisibleText.h"
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
        if (option->get_group().empty()) continue;  // the build's own options are not offered to people
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

// The command a person was typing and the word that names none of its subcommands, or
// why it named no subcommand at all; empty when the fault lies elsewhere. CLI11 says only
// "A subcommand is required", which names neither the word nor the choices.
std::string ExplainCommand(const CLI::App& app) {
    const CLI::App* command = &app;
    std::string name;
    while (!command->get_subcommands().empty()) {
        command = command->get_subcommands().back();
        name += " " + command->get_name();
    }
    std::vector<std::string> choices;
    for (const CLI::App* sub : command->get_subcommands({})) choices.push_back(sub->get_name());
    if (choices.empty()) return {};
    const std::vector<std::string> extras = app.remaining(true);
    const std::string word = extras.empty() ? std::string() : extras.front();
    const std::string typed = "velmo-device" + name;
    auto listed = [](const std::vector<std::string>& names) {
        std::string text;
        for (std::size_t i = 0; i < names.size(); ++i) {
            text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
        }
        return text;
    };
    if (word.empty()) {
        if (command->get_require_subcommand_min() == 0) return {};
        return (name.empty() ? std::string("name a command") : name.substr(1) + " needs a command") + ": " +
               listed(choices) + "\nRun " + typed + " --help for more.";
    }
    std::string folded = word;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<std::string> near;
    for (const std::string& choice : choices) {
        bool prefix = folded.size() >= 2 && choice.compare(0, folded.size(), folded) == 0;
        if (prefix ||
            EditDistance(folded, choice) <= std::max<std::size_t>(1, std::min<std::size_t>(2, word.size() / 3)))
            near.push_back(choice);
    }
    std::string said = "no command" + name + " " + word + "; ";
    if (near.empty()) return said + "the commands are " + listed(choices) + "\nRun " + typed + " --help for more.";
    for (std::string& choice : near) choice = name.substr(name.empty() ? 0 : 1) + (name.empty() ? "" : " ") + choice;
    return said + "did you mean " + listed(near) + "?";
}

}  // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMO_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VELMO_LEAK_CHECKED)
// In the sanitizer build: Qt's own bus thread is now and then still being torn down when
// the leak check runs at exit (a receiver stopped by SIGTERM), and what it holds was
// allocated inside Qt, never by this program. Leaks of objects this program allocates,
// Qt's objects included, are still reported: their allocation's caller is our code.
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt6Core.so\n"; }
#endif

int main(int argc, char** argv) {
    CLI::App app{
        "velmo-device: the stand-in handheld on which Velmo runs.\n"
        "The device lives in $VELMO_DEVICE, else in $XDG_DATA_HOME/velmo/device, else in\n"
        "~/.local/share/velmo/device (velmo-device where prints it)."};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("velmo-device ") + velmo::kVersion, "Print the version and exit");
    // Command names are keywords: "Inbox" is the command inbox.
    app.ignore_case();
    velmo::cli::AddRegistryCommands(app);
    velmo::cli::AddContactsCommands(app);
    velmo::cli::AddMessageCommands(app);
    velmo::cli::AddSmsCommands(app);
    velmo::cli::AddRulesCommands(app);
    velmo::cli::AddSpamCommands(app);
    velmo::cli::AddExportCommands(app);
    velmo::cli::AddInstallCommands(app);
    velmo::cli::AddTodayCommands(app);
    velmo::cli::AddMessagingCommands(app);
    velmo::cli::AddManPageOption(app);
    velmo::cli::AddManualFooters(app);
    // Every command works on the device, so none runs while the environment names no place for it.
    app.parse_complete_callback([] { velmo::device::DeviceRoot(); });
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        // --help, --version and the manual page end here.
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // An unknown option is the fault to name, even where CLI11 reports what followed from it.
        auto remaining = app.remaining(true);
        bool unknownOption = std::any_of(remaining.begin(), remaining.end(),
                                         [](const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; });
        // A word where a command was expected is the first fault, before any option after it.
        std::string command = remaining.empty() || remaining.front()[0] != '-' ? ExplainCommand(app) : std::string();
        if (!command.empty()) {
            std::cerr << "velmo-device: " << command << "\n";
        } else if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr || unknownOption) {
            std::cerr << "velmo-device: " << ExplainExtras(app) << "\n";
        } else {
            app.exit(e);
        }
        return 2;
    } catch (const velmo::device::NoDeviceRoot& e) {
        std::cerr << "velmo-device: " << e.what() << "\n";
        return 2;
    } catch (const velmo::cli::UsageError& e) {
        std::cerr << "velmo-device: " << velmo::device::VisibleText(e.what()) << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "velmo-device: " << velmo::device::VisibleText(e.what()) << "\n";
        return 1;
    }
    return 0;
}
