#include <filesystem>
#include <iostream>
#include <string>

#include "device/Installer.h"
#include "tools/velmo-device/Commands.h"

namespace velmo::cli {

namespace {

// The deliverables are built next to this program.
std::filesystem::path BinDirectory() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

void Print(const std::vector<std::string>& steps) {
    for (const auto& step : steps) std::cout << step << "\n";
}

}  // namespace

void AddInstallCommands(CLI::App& app) {
    app.add_subcommand("install",
                       "Copy the built deliverables into the device, register the handler (its DllRegisterServer) "
                       "and give a fresh device its empty address book")
        ->callback([] {
            Print(device::Install(BinDirectory()));
            if (std::string said = CreateEmptyAddressBook(); !said.empty()) std::cout << said << "\n";
        });
    app.add_subcommand("uninstall",
                       "Unregister the handler (its DllUnregisterServer) and remove the installed deliverables")
        ->callback([] { Print(device::Uninstall()); });
}

}  // namespace velmo::cli
