#include "support/TempDevice.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "device/Registry.h"
#include "device/Text.h"

namespace velmo::test {

TempDevice::TempDevice() {
    if (const char* old = std::getenv("VELMO_DEVICE")) previous_ = old;
    std::string pattern = (std::filesystem::temp_directory_path() / "velmo-device-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    setenv("VELMO_DEVICE", root_.c_str(), 1);
}

TempDevice::~TempDevice() {
    if (previous_) {
        setenv("VELMO_DEVICE", previous_->c_str(), 1);
    } else {
        unsetenv("VELMO_DEVICE");
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path TempDevice::InstallAppPath() const {
    auto dir = root_ / "Program Files" / "VelmoLight";
    std::filesystem::create_directories(dir);
    std::u16string text = device::ToUtf16(dir.string() + "/");
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the settings key");
    }
    LONG rc = RegSetValueExW(key, u"AppPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) throw std::runtime_error("cannot write AppPath");
    return dir;
}

std::filesystem::path BinPath(const std::string& name) { return std::filesystem::path(VELMO_BIN_DIR) / name; }

}  // namespace velmo::test
