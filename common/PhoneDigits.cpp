#include "common/PhoneDigits.h"

#include <algorithm>

namespace velmo {

std::u16string KeepDigits(std::u16string_view text) {
    std::u16string digits;
    for (char16_t c : text) {
        if (c >= u'0' && c <= u'9') digits.push_back(c);
    }
    return digits;
}

std::u16string KeepDigits(const char16_t* text) {
    return text != nullptr ? KeepDigits(std::u16string_view(text)) : std::u16string();
}

bool TrailingDigitsMatch(std::u16string_view a, std::u16string_view b) {
    if (a.empty() || b.empty()) return false;
    std::size_t n = std::min({a.size(), b.size(), MatchDigits});
    return a.substr(a.size() - n) == b.substr(b.size() - n);
}

}  // namespace velmo
