#include "device/VisibleText.h"

#include <algorithm>

#include "device/Text.h"

namespace velmo::device {

namespace {
bool IsBidiControl(char16_t c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F || c == 0x061C;
}

void AppendHex(std::u16string& out, unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
}
}  // namespace

std::string VisibleText(std::string_view utf8) {
    // Most texts are plain printable ASCII, which needs neither decoding nor escaping.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
        return std::string(utf8);
    }
    std::u16string text = ToUtf16(utf8);
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c == 0x1B) {
            out += u"\\e";
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\t') {
            out += u"\\t";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c < 0x20 || c == 0x7F) {
            out += u"\\x";
            AppendHex(out, c, 2);
        } else if ((c >= 0x80 && c <= 0x9F) || IsBidiControl(c)) {
            out += u"\\u";
            AppendHex(out, c, 4);
        } else {
            out.push_back(c);
        }
    }
    return ToUtf8(out);
}

}  // namespace velmo::device
