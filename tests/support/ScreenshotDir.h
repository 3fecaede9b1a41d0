#pragma once
// Where the tests save their pictures of the screens: the folder named by the environment
// variable VELMO_SCREENSHOT_DIR (./run screenshots names a fresh one), else the build's.

#include <cstdlib>
#include <filesystem>

namespace velmo::test {

inline std::filesystem::path ScreenshotDir() {
    const char* named = std::getenv("VELMO_SCREENSHOT_DIR");
    std::filesystem::path dir = named != nullptr && *named != '\0' ? named : VELMO_SCREENSHOT_DIR;
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace velmo::test
