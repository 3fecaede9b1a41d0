#include <gtest/gtest.h>

#include <filesystem>

#include "device/DeviceRoot.h"
#include "device/Module.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;
using velmo::test::BinPath;

// The device library is already loaded in this program, so a link to it in Windows/
// loads nothing new: the loader sees the same file and answers with the loaded module.
class Module : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(velmo::device::WindowsDirectory());
        fs::create_symlink(BinPath("libvelmo_device.so"), velmo::device::WindowsDirectory() / "Device.dll");
    }

    velmo::test::TempDevice device;
};

TEST_F(Module, BareNameIsLookedUpInTheWindowsDirectory) {
    HMODULE module = LoadLibraryW(u"Device.dll");
    ASSERT_NE(module, nullptr);
    // The handle is the module's own: the one its code finds for itself.
    EXPECT_EQ(module, velmo::device::ModuleOfAddress(reinterpret_cast<const void*>(&RegCloseKey)));
    EXPECT_EQ(LoadLibraryW(velmo::device::ToUtf16((velmo::device::WindowsDirectory() / "Device.dll").string()).c_str()),
              module);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(Module, ExportsAreTheLibrarysOwnOnly) {
    HMODULE module = LoadLibraryW(u"Device.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddressW(module, u"RegCloseKey"), reinterpret_cast<FARPROC>(&RegCloseKey));
    // malloc is reachable through the libraries it depends on, but it is not its export.
    EXPECT_EQ(GetProcAddressW(module, u"malloc"), nullptr);
    EXPECT_EQ(GetProcAddressW(module, u"NoSuchExport"), nullptr);
    EXPECT_EQ(GetProcAddressW(module, nullptr), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    // A freed module answers nothing more, and cannot be freed again.
    EXPECT_EQ(GetProcAddressW(module, u"RegCloseKey"), nullptr);
    EXPECT_FALSE(FreeLibrary(module));
}

struct BadLibrary {
    const char* name;
    const char16_t* file;
};

class ModuleRefuses : public Module, public ::testing::WithParamInterface<BadLibrary> {};

TEST_P(ModuleRefuses, Load) {
    velmo::test::WriteFileBytes(velmo::device::WindowsDirectory() / "Text.dll", {'n', 'o', 't', ' ', 'E', 'L', 'F'});
    EXPECT_EQ(LoadLibraryW(GetParam().file), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Rows, ModuleRefuses,
                         ::testing::Values(BadLibrary{"Missing", u"Missing.dll"},
                                           BadLibrary{"NotALibrary", u"Text.dll"}, BadLibrary{"EmptyName", u""},
                                           BadLibrary{"NullName", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
