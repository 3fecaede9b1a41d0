#include "device/DeviceRoot.h"

#include <cstdlib>

namespace velmo::device {

namespace {

// A folder the environment names, when it is set to an absolute path; the desktop's rules
// ignore a relative one.
const char* AbsoluteFolder(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : nullptr;
}

}  // namespace

std::filesystem::path DeviceRoot() {
    if (const char* root = std::getenv("VELMO_DEVICE"); root != nullptr && *root != '\0') {
        return std::filesystem::path(root);
    }
    if (const char* data = AbsoluteFolder("XDG_DATA_HOME")) return std::filesystem::path(data) / "velmo" / "device";
    if (const char* home = AbsoluteFolder("HOME")) {
        return std::filesystem::path(home) / ".local" / "share" / "velmo" / "device";
    }
    throw NoDeviceRoot(
        "no place for the device: set VELMO_DEVICE to its folder, or HOME (or XDG_DATA_HOME) to an absolute path");
}

std::filesystem::path EnsureDeviceRoot() {
    auto root = DeviceRoot();
    std::filesystem::create_directories(root);
    return root;
}

std::filesystem::path WindowsDirectory() { return DeviceRoot() / "Windows"; }

std::filesystem::path ProgramDirectory() { return DeviceRoot() / "Program Files" / "VelmoLight"; }

}  // namespace velmo::device
