#pragma once
// A fresh device root in a temporary directory for the lifetime of the object:
// VELMO_DEVICE points at it, and the previous value comes back on destruction.

#include <filesystem>
#include <optional>
#include <string>

namespace velmo::test {

class TempDevice {
public:
    TempDevice();
    ~TempDevice();
    TempDevice(const TempDevice&) = delete;
    TempDevice& operator=(const TempDevice&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // Root()/Program Files/VelmoLight/, created, with "AppPath" pointing at it.
    std::filesystem::path InstallAppPath() const;

private:
    std::filesystem::path root_;
    std::optional<std::string> previous_;
};

// Path of a built program or library in the build's bin directory.
std::filesystem::path BinPath(const std::string& name);

}  // namespace velmo::test
