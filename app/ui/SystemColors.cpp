#include "app/ui/SystemColors.h"

#include "app/ui/WindowConstants.h"

namespace velmo {

std::uint32_t GetSysColor(SystemColor color) {
    switch (color) {
        case COLOR_WINDOW: return RGB(255, 255, 255);
        case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
        case COLOR_HIGHLIGHT: return RGB(40, 96, 176);
        case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    }
    return RGB(0, 0, 0);
}

}  // namespace velmo
