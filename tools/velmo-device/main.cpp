#include <cstdio>
#include <exception>
#include <iostream>

#include "tools/velmo-device/Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"velmo-device: the stand-in handheld on which Velmo runs.\n"
                 "The device lives in $VELMO_DEVICE (default ~/.local/share/velmo/device)."};
    app.require_subcommand(1);
    velmo::cli::AddRegistryCommands(app);
    velmo::cli::AddContactsCommands(app);
    velmo::cli::AddMessageCommands(app);
    velmo::cli::AddSmsCommands(app);
    velmo::cli::AddRulesCommands(app);
    velmo::cli::AddInstallCommands(app);
    velmo::cli::AddTodayCommands(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
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
