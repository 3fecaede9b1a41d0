#include "support/TempDevice.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "device/Registry.h"
#include "device/Text.h"

namespace velmo::test {

namespace {

// Every test process gets a home and a default device of its own, made before any test
// runs and removed at its end, so that a test without a TempDevice, and every program a
// test starts, reaches neither the user's device nor another test's. Under VELMO_TEST_ROOT
// (the environment's, else the build's per-run folder), else in the temporary folder.
class OwnHome {
public:
    OwnHome() {
        // A test program that a test starts again shares its parent's home and device.
        if (const char* inherited = std::getenv("VELMO_TEST_OWN_HOME"); inherited != nullptr && *inherited != '\0') {
            return;
        }
        const char* under = std::getenv("VELMO_TEST_ROOT");
#ifdef VELMO_TEST_ROOT
        if (under == nullptr || *under != '/') under = VELMO_TEST_ROOT;
#endif
        std::filesystem::path base =
            under != nullptr && *under == '/' ? std::filesystem::path(under) : std::filesystem::temp_directory_path();
        std::error_code ignored;
        std::filesystem::create_directories(base, ignored);
        std::string pattern = (base / "process-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror(("velmo tests: cannot make a home in " + base.string()).c_str());
            std::exit(1);
        }
        root_ = pattern;
        for (const auto& [name, folder] :
             {std::pair{"HOME", "home"}, std::pair{"XDG_DATA_HOME", "data"}, std::pair{"XDG_CONFIG_HOME", "config"},
              std::pair{"XDG_CACHE_HOME", "cache"}}) {
            std::filesystem::create_directories(root_ / folder, ignored);
            setenv(name, (root_ / folder).c_str(), 1);
        }
        setenv("VELMO_DEVICE", (root_ / "device").c_str(), 1);
        setenv("VELMO_TEST_OWN_HOME", root_.c_str(), 1);
        owner_ = getpid();
    }
    ~OwnHome() {
        // A forked child that exits is not the owner.
        if (root_.empty() || getpid() != owner_) return;
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    OwnHome(const OwnHome&) = delete;
    OwnHome& operator=(const OwnHome&) = delete;

private:
    std::filesystem::path root_;
    pid_t owner_ = 0;
};

const OwnHome ownHome;

}  // namespace

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
