#pragma once
// How long a text is as SMS: in the GSM 7-bit alphabet when every character has a place in
// it (160 septets in one message, 153 a part when it is split, the extension table's
// characters taking two), else in UCS-2 (70 units in one message, 67 a part). A part never
// ends between the two septets of an extension character or the two halves of a surrogate pair.

#include <cstddef>
#include <string_view>

namespace velmo::messaging {

struct SmsLength {
    bool unicode = false;        // UCS-2 rather than the GSM alphabet
    std::size_t characters = 0;  // characters as a person counts them
    std::size_t units = 0;       // septets, or UTF-16 units in UCS-2
    std::size_t parts = 0;       // messages it is sent as; 1 for an empty text
    std::size_t perMessage = 0;  // 160 or 70
    std::size_t perPart = 0;     // 153 or 67, once split
};

SmsLength MeasureSms(std::u16string_view text);

}  // namespace velmo::messaging
