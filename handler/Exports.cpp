// The library's only visible symbols: the four exports through which COM and an installer
// reach the handler. Everything else in the library is hidden.

#include "device/Module.h"
#include "handler/Registration.h"
#include "handler/RuleClient.h"

#define VELMO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The library's module handle, recorded by the entry routine at load.
HINSTANCE ModuleInstance = nullptr;

BOOL DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
    ModuleInstance = instance;
    return TRUE;
}

// The loader calls no entry routine here, so the library's constructor and destructor stand in for it.
__attribute__((constructor)) void EnterAtLoad() {
    DllMain(velmo::device::ModuleOfAddress(&ModuleInstance), DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void EnterAtUnload() { DllMain(ModuleInstance, DLL_PROCESS_DETACH, nullptr); }

}  // namespace

VELMO_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return velmo::GetClassObject(rclsid, riid, ppv);
}

VELMO_EXPORT HRESULT DllCanUnloadNow() { return velmo::CanUnloadNow(); }

VELMO_EXPORT HRESULT DllRegisterServer() { return velmo::RegisterServer(); }

VELMO_EXPORT HRESULT DllUnregisterServer() { return velmo::UnregisterServer(); }
