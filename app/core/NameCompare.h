#pragma once
// Case-insensitive comparison of names, unit by unit after folding each to lower case,
// with no locale collation: the order in which the contact list sorts and searches.

#include <string_view>

namespace velmo {

// The lower-case form of one UTF-16 unit for the Latin, Greek and Cyrillic letters;
// every other unit stands for itself.
char16_t FoldCase(char16_t unit);

// Negative, zero or positive as a sorts before, with or after b.
int CompareNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace velmo
