#pragma once
// Telephone numbers reduced to their digits and compared from the end, so that a number
// with a country prefix matches the same number stored with a national trunk prefix.

#include <cstddef>
#include <string>
#include <string_view>

namespace velmo {

// Most digits compared from the end of two numbers.
constexpr std::size_t MatchDigits = 10;

// The decimal digits ('0' to '9') of text, in order; everything else is dropped.
std::u16string KeepDigits(std::u16string_view text);
// The same for a zero-terminated text; a null text gives an empty result.
std::u16string KeepDigits(const char16_t* text);

// True when neither is empty and their last min(|a|, |b|, MatchDigits) digits are equal.
bool TrailingDigitsMatch(std::u16string_view a, std::u16string_view b);

}  // namespace velmo
