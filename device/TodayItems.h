#pragma once
// The items of the Today screen, registered under
// HKEY_LOCAL_MACHINE\Software\Microsoft\Today\Items: one key per item, named after it,
// with "DLL" (the library's path), "Type" (4, an item drawn by its library) and
// "Enabled". Failures throw std::runtime_error.

#include <string>
#include <string_view>
#include <vector>

#include "device/WinTypes.h"

namespace velmo::device {

inline constexpr const char16_t* TodayItemsKey = u"Software\\Microsoft\\Today\\Items";
inline constexpr DWORD TodayCustomItemType = 4;

struct TodayItemEntry {
    std::u16string name;
    std::u16string dll;  // empty when the key has no "DLL"
    DWORD type = 0;
    bool enabled = false;
};

// Registers (or re-registers) an enabled item drawn by the library at dllPath.
void RegisterTodayItem(std::u16string_view name, std::u16string_view dllPath);
// Removes the item; false when it was not registered.
bool UnregisterTodayItem(std::u16string_view name);
// Every registered item, whatever its type and state, in the registry's order.
std::vector<TodayItemEntry> RegisteredTodayItems();

}  // namespace velmo::device
