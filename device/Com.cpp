#include "device/Com.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "device/Module.h"
#include "device/Poom.h"
#include "device/Registry.h"

bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

namespace {

thread_local unsigned initialisations = 0;

struct BuiltInClass {
    CLSID clsid;
    velmo::device::ClassCreator create;
};

// The classes the device serves in-process, shared by every thread of the process.
class ClassTable {
public:
    velmo::device::ClassCreator Find(REFCLSID clsid) {
        std::lock_guard lock(mutex_);
        for (const auto& entry : classes_) {
            if (entry.clsid == clsid) return entry.create;
        }
        return nullptr;
    }

    velmo::device::ClassCreator Replace(REFCLSID clsid, velmo::device::ClassCreator create) {
        std::lock_guard lock(mutex_);
        for (auto it = classes_.begin(); it != classes_.end(); ++it) {
            if (it->clsid == clsid) {
                auto previous = it->create;
                if (create != nullptr) {
                    it->create = create;
                } else {
                    classes_.erase(it);
                }
                return previous;
            }
        }
        if (create != nullptr) classes_.push_back({clsid, create});
        return nullptr;
    }

private:
    std::mutex mutex_;
    std::vector<BuiltInClass> classes_{{CLSID_Application, &velmo::device::CreateAddressBookApplication}};
};

ClassTable& Classes() {
    static ClassTable table;
    return table;
}

using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, LPVOID*);

// The default value of HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32: the server's file name.
bool ReadInprocServer(REFCLSID clsid, std::u16string& server) {
    std::u16string keyPath = u"CLSID\\" + velmo::device::FormatGuid(clsid) + u"\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    char16_t text[MAX_PATH] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof text - sizeof(char16_t);  // keeps a terminator whatever is stored
    LONG rc = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    server = text;
    return true;
}

// A class that is not built in, served by the library that the registry names. Libraries
// stay loaded for the life of the process: objects they made may outlive any answer of
// their DllCanUnloadNow, and nothing here frees unused libraries.
HRESULT CreateFromInprocServer(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object) {
    std::u16string server;
    if (!ReadInprocServer(clsid, server)) return REGDB_E_CLASSNOTREG;
    // Servers live in the device's Windows/ directory; a path in the registry would reach outside it.
    if (server.empty() || server.find_first_of(u"/\\") != std::u16string::npos) return CO_E_DLLNOTFOUND;
    HMODULE module = LoadLibraryW(server.c_str());
    if (module == nullptr) return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(GetProcAddressW(module, u"DllGetClassObject"));
    if (getClassObject == nullptr) {
        FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    IClassFactory* factory = nullptr;
    HRESULT result = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(result)) return result;
    if (factory == nullptr) return E_UNEXPECTED;
    result = factory->CreateInstance(outer, riid, object);
    factory->Release();
    return result;
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

extern "C" HRESULT CoInitializeEx(LPVOID pvReserved, DWORD /*dwCoInit*/) {
    if (pvReserved != nullptr) return E_INVALIDARG;
    return initialisations++ == 0 ? S_OK : S_FALSE;
}

extern "C" void CoUninitialize() {
    if (initialisations > 0) --initialisations;
}

extern "C" HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                    LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (initialisations == 0) return CO_E_NOTINITIALIZED;
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    if (auto create = Classes().Find(rclsid)) return create(pUnkOuter, riid, ppv);
    return CreateFromInprocServer(rclsid, pUnkOuter, riid, ppv);
}

namespace velmo::device {

std::u16string FormatGuid(const GUID& guid) {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::u16string text = u"{";
    auto put = [&](unsigned long long value, int hexDigits) {
        for (int shift = (hexDigits - 1) * 4; shift >= 0; shift -= 4) text.push_back(digits[(value >> shift) & 0xF]);
    };
    put(guid.Data1, 8);
    text.push_back(u'-');
    put(guid.Data2, 4);
    text.push_back(u'-');
    put(guid.Data3, 4);
    text.push_back(u'-');
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    text.push_back(u'-');
    for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
    text.push_back(u'}');
    return text;
}

std::optional<GUID> ParseGuid(std::u16string_view text) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 units, dashes at fixed places.
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return std::nullopt;
    std::size_t pos = 1;
    auto take = [&](int hexDigits, unsigned long long& value) {
        value = 0;
        for (int i = 0; i < hexDigits; ++i) {
            int digit = HexValue(text[pos++]);
            if (digit < 0) return false;
            value = (value << 4) | static_cast<unsigned>(digit);
        }
        return true;
    };
    auto dash = [&] { return text[pos++] == u'-'; };
    unsigned long long d1 = 0, d2 = 0, d3 = 0, byte = 0;
    GUID guid{};
    if (!take(8, d1) || !dash() || !take(4, d2) || !dash() || !take(4, d3) || !dash()) return std::nullopt;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !dash()) return std::nullopt;
        if (!take(2, byte)) return std::nullopt;
        guid.Data4[i] = static_cast<BYTE>(byte);
    }
    guid.Data1 = static_cast<DWORD>(d1);
    guid.Data2 = static_cast<WORD>(d2);
    guid.Data3 = static_cast<WORD>(d3);
    return guid;
}

ClassCreator RegisterBuiltInClass(REFCLSID clsid, ClassCreator create) { return Classes().Replace(clsid, create); }

}  // namespace velmo::device
