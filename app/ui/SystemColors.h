#pragma once
// The handheld's system colours (GetSysColor) that custom controls draw with, as
// COLORREF 0x00BBGGRR.

#include <cstdint>

namespace velmo {

enum SystemColor : int {
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
};

std::uint32_t GetSysColor(SystemColor color);

}  // namespace velmo
