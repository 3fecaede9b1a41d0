#pragma once
// The Today item: one line with a picture of the program state and the counts of
// blocked and silently accepted messages. A tap on the picture steps the program
// state; a tap elsewhere starts VelmoLight.

#include "device/gui/Today.h"

namespace velmo {

inline constexpr const char16_t* TodayItemClassName = u"_wndClass_VelmoToday";

// At library load: keeps the module instance and registers the item's window class.
void AttachTodayItem(HINSTANCE instance);
// At library unload: unregisters the class.
void DetachTodayItem();
// The item's window below the Today screen's window, shown and painted; nullptr
// when it cannot be created.
HWND CreateTodayItemWindow(HWND parent);

LRESULT CALLBACK TodayItemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace velmo
