#include <gtest/gtest.h>

#include <filesystem>

#include "device/DeviceRoot.h"
#include "device/Installer.h"
#include "device/MailRuleClient.h"
#include "device/Registry.h"
#include "device/SmsTransport.h"
#include "device/Text.h"
#include "device/TodayItems.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;
using velmo::device::Install;
using velmo::device::ProgramDirectory;
using velmo::device::Uninstall;
using velmo::device::WindowsDirectory;
using velmo::test::BinPath;
using velmo::test::ReadFileBytes;
using velmo::test::WriteFileBytes;

constexpr CLSID RuleClientClass = {0x7E3A91C2, 0x5B04, 0x4D6F, {0xA8, 0xE1, 0x29, 0xC6, 0xB0, 0xF4, 0xD3, 0x57}};

std::u16string AppPath() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return u"(none)";
    }
    char16_t path[MAX_PATH] = {};
    DWORD size = sizeof path - 2;
    LONG rc = RegQueryValueExW(key, u"AppPath", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::u16string(path) : u"(none)";
}

bool HandlerServesItsClass() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IUnknown* client = nullptr;
    HRESULT result = CoCreateInstance(RuleClientClass, nullptr, CLSCTX_INPROC_SERVER, IID_IMailRuleClient,
                                      reinterpret_cast<void**>(&client));
    if (client != nullptr) client->Release();
    CoUninitialize();
    return result == S_OK;
}

// A bin directory as a build leaves it: the handler, and whatever else a test puts there.
class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(bin);
        fs::create_symlink(BinPath("VelmoHandler.dll"), bin / "VelmoHandler.dll");
    }

    velmo::test::TempDevice device;
    fs::path bin = fs::temp_directory_path() / ("velmo-bin-" + device.Root().filename().string());

    void TearDown() override { fs::remove_all(bin); }
};

TEST_F(Installer, CopiesTheHandlerIntoWindowsAndRegistersIt) {
    auto steps = Install(bin);
    fs::path installed = WindowsDirectory() / "VelmoHandler.dll";
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(installed)));
    EXPECT_EQ(ReadFileBytes(installed), ReadFileBytes(BinPath("VelmoHandler.dll")));
    EXPECT_EQ(velmo::device::RegisteredRuleClients(),
              std::vector<std::u16string>{velmo::device::FormatGuid(RuleClientClass)});
    EXPECT_TRUE(HandlerServesItsClass());
    // Without VelmoLight, the installer gives the handler's files their home.
    EXPECT_EQ(AppPath(), velmo::device::ToUtf16(ProgramDirectory().string() + "/"));
    EXPECT_TRUE(fs::is_directory(ProgramDirectory()));
    EXPECT_EQ(steps.back(), "registered VelmoHandler.dll (DllRegisterServer)");
}

TEST_F(Installer, CopiesTheOtherDeliverablesWhenBuiltAndLeavesAppPathToVelmoLight) {
    WriteFileBytes(bin / "VelmoLight.exe", {'p', 'r', 'o', 'g'});
    WriteFileBytes(bin / "VelmoToday.dll", {'i', 't', 'e', 'm'});
    Install(bin);
    EXPECT_EQ(ReadFileBytes(ProgramDirectory() / "VelmoLight.exe"), (std::vector<std::uint8_t>{'p', 'r', 'o', 'g'}));
    EXPECT_EQ(ReadFileBytes(WindowsDirectory() / "VelmoToday.dll"), (std::vector<std::uint8_t>{'i', 't', 'e', 'm'}));
    EXPECT_EQ(AppPath(), u"(none)");
    auto items = velmo::device::RegisteredTodayItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, u"VelmoLight Today");
    EXPECT_EQ(items[0].dll, velmo::device::ToUtf16((WindowsDirectory() / "VelmoToday.dll").string()));
}

TEST_F(Installer, ReinstallingReplacesACopyThatIsLoaded) {
    Install(bin);
    ASSERT_TRUE(HandlerServesItsClass());
    Install(bin);
    EXPECT_TRUE(HandlerServesItsClass());
    EXPECT_EQ(std::distance(fs::directory_iterator(WindowsDirectory()), fs::directory_iterator()), 1);
}

TEST_F(Installer, UninstallUnregistersAndRemovesTheFilesButKeepsTheUsersData) {
    WriteFileBytes(bin / "VelmoLight.exe", {'p'});
    WriteFileBytes(bin / "VelmoToday.dll", {'i'});
    Install(bin);
    WriteFileBytes(ProgramDirectory() / "ContactsInfo.dat", {1, 2, 3});
    Uninstall();
    EXPECT_TRUE(velmo::device::RegisteredRuleClients().empty());
    EXPECT_TRUE(velmo::device::RegisteredTodayItems().empty());
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}", 0, 0, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(WindowsDirectory() / "VelmoHandler.dll"));
    EXPECT_FALSE(fs::exists(ProgramDirectory() / "VelmoLight.exe"));
    EXPECT_TRUE(fs::exists(ProgramDirectory() / "ContactsInfo.dat"));
    EXPECT_EQ(Uninstall(), std::vector<std::string>{"nothing was installed"});
}

TEST_F(Installer, WithoutABuiltHandlerNothingIsInstalled) {
    fs::remove(bin / "VelmoHandler.dll");
    EXPECT_THROW(Install(bin), std::runtime_error);
    EXPECT_FALSE(fs::exists(WindowsDirectory()));
}

}  // namespace
