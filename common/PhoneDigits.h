#pragma once
// Telephone numbers reduced to their digits and compared as a phone's caller-ID does: from
// the end, with enough digits to tell people apart, accepting the unmatched leading digits
// only when they are the prefixes that national and international dialling add.

#include <cstddef>
#include <string>
#include <string_view>

namespace velmo {

// Most digits compared from the end of two numbers.
constexpr std::size_t MatchDigits = 10;
// Fewest trailing digits that may tell two different-looking numbers to be one.
constexpr std::size_t MinMatchDigits = 7;

// The decimal digits ('0' to '9') of text, in order; everything else is dropped.
std::u16string KeepDigits(std::u16string_view text);
// The same for a zero-terminated text; a null text gives an empty result.
std::u16string KeepDigits(const char16_t* text);
// The same into digits, whose storage is reused, for a walk over many numbers.
void KeepDigits(std::u16string_view text, std::u16string& digits);

// True when the two digit strings are one telephone number: their last MatchDigits digits are
// equal, or the shorter (of MinMatchDigits or more) is the end of the longer; a number shorter
// than MinMatchDigits only as itself; otherwise when one is a national trunk prefix followed by
// at least MinMatchDigits digits that end the other, and what precedes them there is a country
// code, optionally after the international prefix "00" or "011". Symmetric; empty never matches.
bool TrailingDigitsMatch(std::u16string_view a, std::u16string_view b);

// TrailingDigitsMatch(senderDigits, KeepDigits(number)), for a walk over many numbers: the
// number's digits are read from its end and the first of its last MinMatchDigits that differs
// from the sender's rules it out, as it does most numbers of an address book, before any are
// copied. digits is storage reused from one call to the next.
bool NumberMatches(std::u16string_view senderDigits, std::u16string_view number, std::u16string& digits);

}  // namespace velmo
