#include "tools/messaging/SmsLength.h"

#include <utility>

namespace velmo::messaging {

namespace {

// The GSM 03.38 default alphabet, in the order of its codes (0x1B, the escape, left out).
constexpr std::u16string_view kBasic =
    u"@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    u"¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà";
// The extension table, each reached through the escape: two septets.
constexpr std::u16string_view kExtension = u"\f^{}\\[~]|€";

constexpr std::size_t kGsmSingle = 160;
constexpr std::size_t kGsmPart = 153;
constexpr std::size_t kUcs2Single = 70;
constexpr std::size_t kUcs2Part = 67;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Parts needed for pieces of the given widths, none split, each part holding at most capacity.
template <typename Width>
std::size_t CountParts(std::u16string_view text, std::size_t capacity, Width width) {
    std::size_t parts = 1;
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size();) {
        auto [units, length] = width(i);
        if (used + units > capacity) {
            ++parts;
            used = 0;
        }
        used += units;
        i += length;
    }
    return parts;
}

}  // namespace

SmsLength MeasureSms(std::u16string_view text) {
    SmsLength length;
    bool gsm = true;
    for (char16_t unit : text) {
        if (kBasic.find(unit) == std::u16string_view::npos && kExtension.find(unit) == std::u16string_view::npos) {
            gsm = false;
            break;
        }
    }
    length.unicode = !gsm;
    if (gsm) {
        auto width = [&text](std::size_t i) {
            return std::pair<std::size_t, std::size_t>{kExtension.find(text[i]) != std::u16string_view::npos ? 2 : 1,
                                                       1};
        };
        for (std::size_t i = 0; i < text.size(); ++i) length.units += width(i).first;
        length.characters = text.size();
        length.perMessage = kGsmSingle;
        length.perPart = kGsmPart;
        length.parts = length.units <= kGsmSingle ? 1 : CountParts(text, kGsmPart, width);
        return length;
    }
    auto width = [&text](std::size_t i) {
        std::size_t pair = IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
        return std::pair<std::size_t, std::size_t>{pair, pair};
    };
    for (std::size_t i = 0; i < text.size(); i += width(i).second) ++length.characters;
    length.units = text.size();
    length.perMessage = kUcs2Single;
    length.perPart = kUcs2Part;
    length.parts = length.units <= kUcs2Single ? 1 : CountParts(text, kUcs2Part, width);
    return length;
}

}  // namespace velmo::messaging
