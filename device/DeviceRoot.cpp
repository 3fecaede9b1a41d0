#include "device/DeviceRoot.h"

#include <cstdlib>

namespace velmo::device {

std::filesystem::path DeviceRoot() {
    if (const char* root = std::getenv("VELMO_DEVICE"); root != nullptr && *root != '\0') {
        return std::filesystem::path(root);
    }
    const char* home = std::getenv("HOME");
    std::filesystem::path base =
        (home != nullptr && *home != '\0') ? std::filesystem::path(home) : std::filesystem::path("/tmp");
    return base / ".local" / "share" / "velmo" / "device";
}

std::filesystem::path EnsureDeviceRoot() {
    auto root = DeviceRoot();
    std::filesystem::create_directories(root);
    return root;
}

std::filesystem::path WindowsDirectory() { return DeviceRoot() / "Windows"; }

std::filesystem::path ProgramDirectory() { return DeviceRoot() / "Program Files" / "VelmoLight"; }

}  // namespace velmo::device
