#pragma once
// Where the stand-in handheld keeps its state: registry.db, contacts.db, messages.db,
// Windows/ (installed libraries) and Program Files/VelmoLight/ (the installed program).

#include <filesystem>
#include <stdexcept>

namespace velmo::device {

// The environment names no place for the device: a root under a shared folder such as
// /tmp would let another user plant the libraries that the device loads.
struct NoDeviceRoot : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// $VELMO_DEVICE, else $XDG_DATA_HOME/velmo/device, else $HOME/.local/share/velmo/device
// (an empty or relative XDG_DATA_HOME or HOME counts as unset). Read afresh at every call,
// so a test can point the device at a temporary directory. The directory is not created.
// Throws NoDeviceRoot when none of the three is set.
std::filesystem::path DeviceRoot();

// DeviceRoot(), created with its parents when missing. Throws std::filesystem::filesystem_error.
std::filesystem::path EnsureDeviceRoot();

std::filesystem::path WindowsDirectory();  // DeviceRoot()/Windows
std::filesystem::path ProgramDirectory();  // DeviceRoot()/Program Files/VelmoLight

}  // namespace velmo::device
