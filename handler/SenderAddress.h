#pragma once
// The sender's address taken out of the sender text that the message store gives,
// such as "Office <+1 555 010-0123>". KeepDigits and TrailingDigitsMatch come with it.

#include <string>
#include <string_view>

#include "common/PhoneDigits.h"

namespace velmo {

// The text between the first '<' and the last '>'; everything after the '<' when no '>'
// follows it; the whole text when there is no '<'. Kept whole, however long the text.
std::u16string ExtractSenderAddress(std::u16string_view text);

}  // namespace velmo
