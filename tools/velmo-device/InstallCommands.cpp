#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <string>

#include "device/DeviceRoot.h"
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

bool IsKeyword(std::string_view typed, std::string_view keyword) {
    return std::equal(typed.begin(), typed.end(), keyword.begin(), keyword.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

void RequireDevice() {
    const std::filesystem::path root = device::DeviceRoot();
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) throw std::runtime_error("no device at " + root.string());
}

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
    app.add_subcommand("where",
                       "Print the folder the device lives in: $VELMO_DEVICE, else $XDG_DATA_HOME/velmo/device, else "
                       "~/.local/share/velmo/device (it need not exist yet)")
        ->callback([] { std::cout << device::DeviceRoot().string() << "\n"; });
}

}  // namespace velmo::cli
