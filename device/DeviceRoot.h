#pragma once
// Where the stand-in handheld keeps its state: registry.db, contacts.db, messages.db,
// Windows/ (installed libraries) and Program Files/VelmoLight/ (the installed program).

#include <filesystem>

namespace velmo::device {

// $VELMO_DEVICE, else ~/.local/share/velmo/device. Read afresh at every call, so a
// test can point the device at a temporary directory. The directory is not created.
std::filesystem::path DeviceRoot();

// DeviceRoot(), created with its parents when missing. Throws std::filesystem::filesystem_error.
std::filesystem::path EnsureDeviceRoot();

std::filesystem::path WindowsDirectory();  // DeviceRoot()/Windows
std::filesystem::path ProgramDirectory();  // DeviceRoot()/Program Files/VelmoLight

}  // namespace velmo::device
