// VelmoHandler.dll as the SMS transport and an installer meet it: loaded with dlopen from
// the build, reached only through its four exports.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/MailRuleClient.h"
#include "device/Registry.h"
#include "handler/Registration.h"
#include "handler/RuleClient.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

namespace {

using velmo::CLSID_RuleClient;
using velmo::test::BinPath;

struct Exports {
    HRESULT (*getClassObject)(REFCLSID, REFIID, LPVOID*);
    HRESULT (*canUnloadNow)();
    HRESULT (*registerServer)();
    HRESULT (*unregisterServer)();
};

// The built library, loaded once for the whole program as COM would keep it.
const Exports& Library() {
    static const Exports exports = [] {
        void* library = dlopen(BinPath("VelmoHandler.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) throw std::runtime_error(dlerror());
        auto find = [library](const char* name) {
            void* symbol = dlsym(library, name);
            if (symbol == nullptr) throw std::runtime_error(std::string("no export ") + name);
            return symbol;
        };
        return Exports{
            reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, LPVOID*)>(find("DllGetClassObject")),
            reinterpret_cast<HRESULT (*)()>(find("DllCanUnloadNow")),
            reinterpret_cast<HRESULT (*)()>(find("DllRegisterServer")),
            reinterpret_cast<HRESULT (*)()>(find("DllUnregisterServer")),
        };
    }();
    return exports;
}

IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    if (FAILED(Library().getClassObject(CLSID_RuleClient, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        return nullptr;
    }
    return factory;
}

std::string Capture(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    std::array<char, 4096> buffer;
    while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), n);
    pclose(pipe);
    return output;
}

TEST(VelmoHandlerLibrary, ExportsTheFourFunctionsAndNothingElse) {
    std::istringstream symbols(Capture("nm -D --defined-only '" + BinPath("VelmoHandler.dll").string() + "'"));
    std::set<std::string> exported;
    std::string address, type, name;
    while (symbols >> address >> type >> name) exported.insert(name);
    EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                               "DllUnregisterServer"}));
    // And the loader agrees: the handler's own functions are out of reach by name.
    void* library = dlopen(BinPath("VelmoHandler.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    EXPECT_NE(dlsym(library, "DllRegisterServer"), nullptr);
    EXPECT_EQ(dlsym(library, "DllMain"), nullptr);
    EXPECT_EQ(dlsym(library, "_ZN5velmo14GetClassObjectERK4GUIDS2_PPv"), nullptr);
    dlclose(library);
}

class ClassObject : public ::testing::Test {
protected:
    void TearDown() override {
        // Every test leaves nothing alive and no lock behind.
        EXPECT_EQ(Library().canUnloadNow(), S_OK);
    }
};

TEST_F(ClassObject, AnotherClassGetsNothing) {
    CLSID other = CLSID_RuleClient;
    other.Data4[7] ^= 1;
    void* untouched = &other;
    EXPECT_EQ(Library().getClassObject(other, IID_IClassFactory, &untouched), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(untouched, &other);
}

struct InterfaceRow {
    const char* name;
    IID iid;
    HRESULT expected;
};

class ClassObjectInterface : public ClassObject, public ::testing::WithParamInterface<InterfaceRow> {};

TEST_P(ClassObjectInterface, FactoryIsHandedOutOnlyAsItsOwnInterfaces) {
    void* object = reinterpret_cast<void*>(1);
    HRESULT result = Library().getClassObject(CLSID_RuleClient, GetParam().iid, &object);
    EXPECT_EQ(result, GetParam().expected);
    if (SUCCEEDED(result)) {
        ASSERT_NE(object, nullptr);
        // The caller holds the only reference.
        EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
    } else {
        EXPECT_EQ(object, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ClassObjectInterface,
                         ::testing::Values(InterfaceRow{"ClassFactory", IID_IClassFactory, S_OK},
                                           InterfaceRow{"Unknown", IID_IUnknown, S_OK},
                                           InterfaceRow{"MailRuleClient", IID_IMailRuleClient, E_NOINTERFACE}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClassObject, NullOutPointerIsRefused) {
    EXPECT_EQ(Library().getClassObject(CLSID_RuleClient, IID_IClassFactory, nullptr), E_INVALIDARG);
}

TEST_F(ClassObject, FactoryAnswersOnlyForItsOwnInterfaces) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IMailRuleClient, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, factory);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(ClassObject, CreateInstanceGivesARuleClientWithOneReference) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IMailRuleClient* client = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IMailRuleClient, reinterpret_cast<void**>(&client)), S_OK);
    factory->Release();
    ASSERT_NE(client, nullptr);
    // A live rule client keeps the library from being unloaded.
    EXPECT_EQ(Library().canUnloadNow(), S_FALSE);
    EXPECT_EQ(client->AddRef(), 2u);
    EXPECT_EQ(client->Release(), 1u);

    MRCACCESS access = MRC_ACCESS_NONE;
    EXPECT_EQ(client->Initialize(nullptr, &access), S_OK);
    EXPECT_EQ(access, MRC_ACCESS_WRITE);
    void* same = nullptr;
    EXPECT_EQ(client->QueryInterface(IID_IUnknown, &same), S_OK);
    EXPECT_EQ(same, client);
    EXPECT_EQ(client->Release(), 1u);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(client->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(client->Release(), 0u);
}

TEST_F(ClassObject, UnsupportedInterfaceDestroysTheNewObject) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IMailRuleClient, &object),
              CLASS_E_NOAGGREGATION);
    factory->Release();
    // TearDown finds nothing alive: the refused rule client did not outlive the call.
}

TEST_F(ClassObject, LockServerHoldsTheLibraryUntilUnlocked) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(Library().canUnloadNow(), S_FALSE);
    factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(Library().canUnloadNow(), S_OK);
}

TEST_F(ClassObject, ReferenceCountsSurviveConcurrentUse) {
    IClassFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    IMailRuleClient* client = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IMailRuleClient, reinterpret_cast<void**>(&client)), S_OK);
    factory->Release();
    constexpr int threads = 4;
    constexpr int rounds = 20000;
    std::atomic<bool> go{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < rounds; ++i) client->AddRef();
            for (int i = 0; i < rounds; ++i) client->Release();
        });
    }
    go = true;
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(client->Release(), 0u);
}

// The registration entries, read back through the registry as the COM runtime and the
// transport read them.
class Registration : public ::testing::Test {
protected:
    static std::vector<BYTE> Value(HKEY root, const char16_t* path, const char16_t* name, DWORD& type) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
        std::vector<BYTE> data(512);
        DWORD size = static_cast<DWORD>(data.size());
        LONG rc = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
        RegCloseKey(key);
        data.resize(rc == ERROR_SUCCESS ? size : 0);
        return data;
    }

    static DWORD ValueCount(HKEY root, const char16_t* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
        DWORD values = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr);
        RegCloseKey(key);
        return values;
    }

    static bool KeyExists(HKEY root, const char16_t* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    void ExpectRegistered() {
        DWORD type = REG_NONE;
        auto server =
            Value(HKEY_CLASSES_ROOT, u"CLSID\\{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}\\InprocServer32", nullptr, type);
        EXPECT_EQ(type, REG_SZ);
        const char16_t name[] = u"VelmoHandler.dll";
        ASSERT_EQ(server.size(), sizeof name);  // terminator included
        EXPECT_EQ(0, std::memcmp(server.data(), name, sizeof name));
        auto enabled = Value(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules",
                             u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}", type);
        EXPECT_EQ(type, REG_DWORD);
        EXPECT_EQ(enabled, (std::vector<BYTE>{1, 0, 0, 0}));
        EXPECT_EQ(ValueCount(HKEY_CLASSES_ROOT, u"CLSID\\{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}\\InprocServer32"), 1u);
    }

    velmo::test::TempDevice device;
};

TEST_F(Registration, RegisteringTwiceLeavesTheSameEntries) {
    ASSERT_EQ(Library().registerServer(), S_OK);
    ExpectRegistered();
    ASSERT_EQ(Library().registerServer(), S_OK);
    ExpectRegistered();
    EXPECT_EQ(ValueCount(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules"), 1u);
}

TEST_F(Registration, UnregisteringWithNothingRegisteredCreatesTheRulesKey) {
    EXPECT_EQ(Library().unregisterServer(), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID\\{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}"));
}

TEST_F(Registration, UnregisteringRemovesOnlyTheHandlersEntries) {
    HKEY rules = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &rules, nullptr),
              ERROR_SUCCESS);
    DWORD one = 1;
    RegSetValueExW(rules, u"{00000000-1111-2222-3333-444444444444}", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one),
                   sizeof one);
    RegCloseKey(rules);
    ASSERT_EQ(Library().registerServer(), S_OK);
    ASSERT_EQ(Library().unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"CLSID\\{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}"));
    DWORD type = REG_NONE;
    EXPECT_TRUE(Value(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules",
                      u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}", type)
                    .empty());
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules",
                    u"{00000000-1111-2222-3333-444444444444}", type),
              (std::vector<BYTE>{1, 0, 0, 0}));
}

TEST_F(Registration, RegistryThatCannotBeWrittenFailsRegistration) {
    // The registry database cannot grow: the first write fails, and so does the registration.
    velmo::test::ScopedFileSizeLimit limit(0);
    EXPECT_EQ(Library().registerServer(), E_FAIL);
}

}  // namespace
