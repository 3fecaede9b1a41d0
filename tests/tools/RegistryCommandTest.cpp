#include <gtest/gtest.h>

#include "device/Registry.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

using velmo::test::BinPath;
using velmo::test::RunProcess;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return RunProcess(BinPath("velmo-device").string(), args);
}

class RegistryCommand : public ::testing::Test {
protected:
    velmo::test::TempDevice device;
};

TEST_F(RegistryCommand, SetThenGetAndListShowTheValues) {
    // Only the first write says that it made the key.
    EXPECT_EQ(Device({"registry", "set", "HKLM\\Software\\Apps\\VelmoLight", "ActiveState", "--dword", "-1"}).output,
              "created the key HKEY_LOCAL_MACHINE\\Software\\Apps\\VelmoLight\n");
    EXPECT_EQ(
        Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "AppPath", "--sz", "/d/Program Files/"}).output,
        "");
    ASSERT_EQ(Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "StartTime", "--binary",
                      "15000000 1e000000 00000000"})
                  .exitCode,
              0);

    // What the command wrote is what a deliverable reads through the registry functions.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight", 0, 0, &key), ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueExW(key, u"ActiveState", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    BYTE time[12];
    size = sizeof time;
    ASSERT_EQ(RegQueryValueExW(key, u"StartTime", nullptr, &type, time, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(time[0], 0x15);
    EXPECT_EQ(time[4], 0x1e);
    RegCloseKey(key);

    auto get = Device({"registry", "get", "hklm/software/apps/velmolight", "appPATH"});
    EXPECT_EQ(get.exitCode, 0);
    EXPECT_EQ(get.output, "REG_SZ  \"/d/Program Files/\"\n");
    auto list = Device({"registry", "list", "HKLM\\Software\\Apps"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.output.find("VelmoLight"), std::string::npos);
    EXPECT_NE(list.output.find("ActiveState  REG_DWORD  4294967295 (0xffffffff)"), std::string::npos);
}

TEST_F(RegistryCommand, DeleteRemovesValuesAndKeys) {
    ASSERT_EQ(Device({"registry", "set", "HKCR\\CLSID\\{X}\\InprocServer32", "@", "--sz", "VelmoHandler.dll"}).exitCode,
              0);
    EXPECT_EQ(Device({"registry", "get", "HKCR\\CLSID\\{X}\\InprocServer32", "@"}).output,
              "REG_SZ  \"VelmoHandler.dll\"\n");
    EXPECT_EQ(Device({"registry", "delete", "HKCR\\CLSID\\{X}\\InprocServer32", "@"}).exitCode, 0);
    EXPECT_EQ(Device({"registry", "get", "HKCR\\CLSID\\{X}\\InprocServer32", "@"}).exitCode, 2);
    EXPECT_EQ(Device({"registry", "delete", "HKCR\\CLSID"}).exitCode, 0);
    EXPECT_EQ(Device({"registry", "list", "HKCR\\CLSID"}).exitCode, 2);
}

struct BadCall {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

class RegistryCommandErrors : public RegistryCommand, public ::testing::WithParamInterface<BadCall> {};

TEST_P(RegistryCommandErrors, ExitTwoWithAClearMessage) {
    auto result = Device(GetParam().args);
    EXPECT_EQ(result.exitCode, 2) << result.errors;
    EXPECT_NE(result.errors.find(GetParam().message), std::string::npos) << result.errors;
}

INSTANTIATE_TEST_SUITE_P(
    Calls, RegistryCommandErrors,
    ::testing::Values(
        BadCall{"MissingKey",
                {"registry", "get", "HKLM\\Software\\Nowhere", "x"},
                "no key HKEY_LOCAL_MACHINE\\Software\\Nowhere"},
        BadCall{"UnknownRoot",
                {"registry", "set", "HKML/Software/Apps", "v", "--dword", "1"},
                "starts with \"HKML\", which is no root; a key path starts with HKEY_LOCAL_MACHINE (HKLM), "
                "HKEY_CLASSES_ROOT (HKCR), HKEY_CURRENT_USER (HKCU)"},
        BadCall{"NoRoot", {"registry", "get", "Software\\Apps", "x"}, "starts with \"Software\", which is no root"},
        BadCall{"MissingValue", {"registry", "get", "HKLM", "Nothing"}, "no value Nothing"},
        BadCall{
            "NotANumber", {"registry", "set", "HKLM\\A", "v", "--dword", "twelve"}, "--dword takes a 32-bit number"},
        BadCall{
            "TooLarge", {"registry", "set", "HKLM\\A", "v", "--dword", "4294967296"}, "--dword takes a 32-bit number"},
        BadCall{"BadHex", {"registry", "set", "HKLM\\A", "v", "--binary", "0g"}, "--binary takes hexadecimal bytes"},
        BadCall{"OddHex", {"registry", "set", "HKLM\\A", "v", "--binary", "123"}, "even number"},
        BadCall{"NoType", {"registry", "set", "HKLM\\A", "v"}, "needs the value's type"},
        BadCall{"TwoTypes", {"registry", "set", "HKLM\\A", "v", "--dword", "1", "--sz", "x"}, "excludes"},
        BadCall{"BadPath", {"registry", "set", "HKLM\\A\\\\B", "v", "--dword", "1"}, "not a valid key path"},
        BadCall{"DeleteRoot", {"registry", "delete", "HKLM"}, "a root key cannot be deleted"},
        BadCall{"UnknownCommand", {"registry", "frobnicate"}, "no command registry frobnicate"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
