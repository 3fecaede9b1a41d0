// The library's entry points: its export, and the code that runs when the Today
// screen loads and unloads it.

#include "device/gui/Today.h"
#include "today/TodayItem.h"

namespace {

__attribute__((constructor)) void AttachToProcess() {
    HMODULE instance = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&AttachToProcess), &instance)) {
        velmo::AttachTodayItem(instance);
    }
}

__attribute__((destructor)) void DetachFromProcess() { velmo::DetachTodayItem(); }

}  // namespace

extern "C" __attribute__((visibility("default"))) HWND InitializeCustomItem(TODAYLISTITEM*, HWND parent) {
    return velmo::CreateTodayItemWindow(parent);
}
