// CoCreateInstance for classes served by a library named in the registry.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "device/DeviceRoot.h"
#include "device/MailRuleClient.h"
#include "device/Module.h"
#include "device/Registry.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;
using velmo::test::BinPath;

constexpr CLSID RuleClientClass = {0x7E3A91C2, 0x5B04, 0x4D6F, {0xA8, 0xE1, 0x29, 0xC6, 0xB0, 0xF4, 0xD3, 0x57}};
constexpr CLSID OtherClass = {0x0BADC0DE, 0x0001, 0x0002, {0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}};

struct ScopedCom {
    ScopedCom() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ScopedCom() { CoUninitialize(); }
};

class InprocServer : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(velmo::device::WindowsDirectory()); }

    // HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 with the given default value.
    static void RegisterServer(REFCLSID clsid, DWORD type, const std::u16string& value) {
        std::u16string path = u"CLSID\\" + velmo::device::FormatGuid(clsid) + u"\\InprocServer32";
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static void LinkIntoWindows(const std::string& built, const std::string& name) {
        fs::create_symlink(BinPath(built), velmo::device::WindowsDirectory() / name);
    }

    static HRESULT Create(REFCLSID clsid, REFIID iid, void** object) {
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
    }

    velmo::test::TempDevice device;
    ScopedCom com;
};

TEST_F(InprocServer, CreatesTheRegisteredClassFromItsLibrary) {
    LinkIntoWindows("VelmoHandler.dll", "VelmoHandler.dll");
    RegisterServer(RuleClientClass, REG_SZ, u"VelmoHandler.dll");
    IMailRuleClient* client = nullptr;
    ASSERT_EQ(Create(RuleClientClass, IID_IMailRuleClient, reinterpret_cast<void**>(&client)), S_OK);
    ASSERT_NE(client, nullptr);
    MRCACCESS access = MRC_ACCESS_NONE;
    EXPECT_EQ(client->Initialize(nullptr, &access), S_OK);
    EXPECT_EQ(access, MRC_ACCESS_WRITE);
    EXPECT_EQ(client->Release(), 0u);
    // The library's own answers pass through: it serves one class and one interface.
    void* object = &object;
    EXPECT_EQ(Create(RuleClientClass, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    RegisterServer(OtherClass, REG_SZ, u"VelmoHandler.dll");
    EXPECT_EQ(Create(OtherClass, IID_IUnknown, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(InprocServer, InstalledCopyUsesTheHostsDeviceLibrary) {
    // A copy, as installed: its own file, yet it must share the host's registry and COM runtime.
    fs::copy_file(BinPath("VelmoHandler.dll"), velmo::device::WindowsDirectory() / "VelmoHandler.dll");
    RegisterServer(RuleClientClass, REG_SZ, u"VelmoHandler.dll");
    IUnknown* object = nullptr;
    ASSERT_EQ(Create(RuleClientClass, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    object->Release();
    void* copy = dlopen((velmo::device::WindowsDirectory() / "VelmoHandler.dll").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(dlsym(copy, "RegOpenKeyExW"), reinterpret_cast<void*>(&RegOpenKeyExW));
    EXPECT_EQ(dlsym(copy, "CoCreateInstance"), reinterpret_cast<void*>(&CoCreateInstance));
    dlclose(copy);
}

struct ServerRow {
    const char* name;
    DWORD type;  // REG_NONE: no InprocServer32 key at all
    std::u16string server;
    HRESULT expected;
};

class InprocServerRefuses : public InprocServer, public ::testing::WithParamInterface<ServerRow> {};

TEST_P(InprocServerRefuses, Creation) {
    LinkIntoWindows("libvelmo_device.so", "NoClassObject.dll");
    velmo::test::WriteFileBytes(velmo::device::WindowsDirectory() / "Text.dll", {'t', 'e', 'x', 't'});
    fs::create_directories(velmo::device::DeviceRoot() / "Elsewhere");
    fs::create_symlink(BinPath("VelmoHandler.dll"), velmo::device::DeviceRoot() / "Elsewhere" / "VelmoHandler.dll");
    if (GetParam().type != REG_NONE) RegisterServer(RuleClientClass, GetParam().type, GetParam().server);
    void* object = &object;
    EXPECT_EQ(Create(RuleClientClass, IID_IUnknown, &object), GetParam().expected);
    EXPECT_EQ(object, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InprocServerRefuses,
    ::testing::Values(ServerRow{"NotRegistered", REG_NONE, u"", REGDB_E_CLASSNOTREG},
                      ServerRow{"ServerNotText", REG_BINARY, u"VelmoHandler.dll", REGDB_E_CLASSNOTREG},
                      ServerRow{"LibraryMissing", REG_SZ, u"Missing.dll", CO_E_DLLNOTFOUND},
                      ServerRow{"EmptyName", REG_SZ, u"", CO_E_DLLNOTFOUND},
                      ServerRow{"NotALibrary", REG_SZ, u"Text.dll", CO_E_DLLNOTFOUND},
                      ServerRow{"PathOutOfWindows", REG_SZ, u"../Elsewhere/VelmoHandler.dll", CO_E_DLLNOTFOUND},
                      ServerRow{"HandheldPath", REG_SZ, u"\\Windows\\VelmoHandler.dll", CO_E_DLLNOTFOUND},
                      ServerRow{"NoDllGetClassObject", REG_SZ, u"NoClassObject.dll", CO_E_ERRORINDLL}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
