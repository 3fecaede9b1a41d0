// Arbitrary UTF-16 sender texts: the address is a piece of the text, its digits are
// only '0'..'9', and comparing them with a contact's number stays inside both strings.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "handler/SenderAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::u16string address = velmo::ExtractSenderAddress(text);
    if (text.find(address) == std::u16string::npos) std::abort();
    std::u16string digits = velmo::KeepDigits(address);
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') std::abort();
    }
    if (digits.size() > address.size()) std::abort();
    bool match = velmo::TrailingDigitsMatch(digits, u"15550100123");
    if (match != velmo::TrailingDigitsMatch(u"15550100123", digits)) std::abort();
    if (match && digits.empty()) std::abort();
    // The walk's early reject agrees with the full comparison, both ways round.
    std::u16string scratch;
    if (velmo::NumberMatches(u"15550100123", address, scratch) != match) std::abort();
    if (velmo::NumberMatches(digits, u"+1 (555) 010-0123", scratch) != match) std::abort();
    return 0;
}
