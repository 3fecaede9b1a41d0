#pragma once
// Libraries loaded by name as the handheld loads them: a bare file name is looked up in
// the device's Windows/ directory, anything else is a path. A module handle is the
// library's dlopen handle, the same handle that the window layer's resources take, and the
// one a library finds for itself at load.

#include "device/WinTypes.h"

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using FARPROC = void (*)();

// Reasons for which a library's entry routine is called.
constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;

extern "C" {
// Loads the library (once; later calls count one more reference). Null when the file is
// missing or cannot be loaded.
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// An export of that library itself, never one of the libraries it depends on; null when
// the module is not loaded or has no such export.
FARPROC GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName);
// Gives back one reference; the library is unloaded with its last one.
BOOL FreeLibrary(HMODULE hLibModule);
}

namespace velmo::device {

// The handle of the loaded module that holds address: what a library's entry routine is
// given. Null for an address outside every loaded module.
HMODULE ModuleOfAddress(const void* address);

}  // namespace velmo::device
