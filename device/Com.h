#pragma once
// The handheld's COM runtime as the deliverables use it: GUIDs, the two base interfaces,
// per-thread initialisation and in-process object creation. Interfaces are classes of
// pure virtual functions in table-slot order, without a virtual destructor, so that an
// object's first word is its interface table as on the platform.

#include <optional>
#include <string>
#include <string_view>

#include "device/WinTypes.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16, "a GUID is 16 bytes without padding");

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// GUIDs are equal when their 16 bytes are.
bool operator==(const GUID& a, const GUID& b);
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

class IUnknown {
public:
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    // Objects end through Release, never through a delete of an interface pointer.
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

extern "C" {
// Counted per thread: the first call on a thread answers S_OK, later ones S_FALSE, and
// each needs its CoUninitialize. pvReserved must be null.
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();
// Creates an object of a built-in class, else of a class served by the in-process library
// that the default value of HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 names: a bare file
// name in the device's Windows/ directory, entered through its DllGetClassObject and kept
// loaded until the process ends. CO_E_NOTINITIALIZED when the calling thread has not
// initialised COM; REGDB_E_CLASSNOTREG for a class that nobody serves in-process;
// CO_E_DLLNOTFOUND when the library cannot be loaded; CO_E_ERRORINDLL when it has no
// DllGetClassObject; otherwise what DllGetClassObject or CreateInstance answered.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
}

namespace velmo::device {

// "{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}": braces, upper-case hexadecimal digits.
std::u16string FormatGuid(const GUID& guid);
// The same form; hexadecimal digits of either case. std::nullopt for any other text.
std::optional<GUID> ParseGuid(std::u16string_view text);

// Creates an object of a built-in class: the same contract as IClassFactory::CreateInstance.
using ClassCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

// Serves clsid in-process from create (nullptr withdraws it) and returns the creator it
// replaces. The device's own classes are present from the start; tests put stand-ins
// in their place.
ClassCreator RegisterBuiltInClass(REFCLSID clsid, ClassCreator create);

}  // namespace velmo::device
