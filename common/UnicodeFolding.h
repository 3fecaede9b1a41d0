#pragma once
// The two Unicode tables that make a message's words comparable in any language: simple case
// folding (one code point to one, as CaseFolding.txt's C and S rows say) and decimal digits.

namespace velmo {

// c folded by Unicode's simple case folding; c itself when it has no folding.
char32_t SimpleCaseFold(char32_t c);

// Whether c is a decimal digit (general category Nd) of any script.
bool IsDecimalDigit(char32_t c);

}  // namespace velmo
