#pragma once
// Conversions between the product's UTF-16 text and UTF-8, for the edges only:
// the command line, messages to a person and file names handed to POSIX calls.

#include <string>
#include <string_view>
#include <vector>

namespace velmo::device {

// Ill-formed input (a lone surrogate, a bad UTF-8 sequence) becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);

// The text with each unpaired surrogate replaced by U+FFFD, so that the stored text is
// well-formed UTF-16.
std::u16string WellFormedUtf16(std::u16string_view text);

// The fields of a line of the device's own records, split at each tab.
std::vector<std::string> TabFields(const std::string& text);

// Length of a zero-terminated UTF-16 string; 0 for a null pointer.
std::size_t Length(const char16_t* text);

}  // namespace velmo::device
