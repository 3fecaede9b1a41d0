#include "app/core/NameCompare.h"

#include <algorithm>

namespace velmo {

char16_t FoldCase(char16_t unit) {
    auto shifted = [unit](int by) { return static_cast<char16_t>(unit + by); };
    if (unit < 0x80) return (unit >= u'A' && unit <= u'Z') ? shifted(0x20) : unit;
    if (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7) return shifted(0x20);
    if (unit >= 0x100 && unit <= 0x17F) {
        // Latin Extended-A pairs each capital with the small letter after it.
        if (unit == 0x178) return 0xFF;
        bool oddCapitals = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
        bool capital = oddCapitals ? (unit % 2 == 1) : (unit % 2 == 0 && unit != 0x138);
        return capital ? shifted(1) : unit;
    }
    if (unit >= 0x391 && unit <= 0x3AB && unit != 0x3A2) return shifted(0x20);
    if (unit >= 0x400 && unit <= 0x40F) return shifted(0x50);
    if (unit >= 0x410 && unit <= 0x42F) return shifted(0x20);
    return unit;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        int difference = static_cast<int>(FoldCase(a[i])) - static_cast<int>(FoldCase(b[i]));
        if (difference != 0) return difference;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace velmo
