// The library's entry points: its export, and the code that runs when the Today
// screen loads and unloads it.

#include "device/gui/Today.h"
#include "today/TodayItem.h"

namespace {

// The loader calls no entry routine, so the library's constructor and destructor stand in for it.
__attribute__((constructor)) void AttachToProcess() {
    velmo::AttachTodayItem(velmo::device::ModuleOfAddress(reinterpret_cast<const void*>(&AttachToProcess)));
}

__attribute__((destructor)) void DetachFromProcess() { velmo::DetachTodayItem(); }

}  // namespace

extern "C" __attribute__((visibility("default"))) HWND InitializeCustomItem(TODAYLISTITEM*, HWND parent) {
    return velmo::CreateTodayItemWindow(parent);
}
