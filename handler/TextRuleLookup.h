#pragma once
// The text rules' say on a message from a sender outside the address book: the first of the
// user's rules in TextRules.dat that matches decides instead of the Unknown or Undefined action.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmo {

struct TextRuleVerdict {
    std::int32_t action;  // the rule's FilterAction
    std::int32_t number;  // the rule's place in the user's order, from 1
};

// None for a contact's key, and when "AppPath" or TextRules.dat is missing or no rule matches.
// messageText is asked for only when there are rules to try.
std::optional<TextRuleVerdict> LookupTextRule(std::int32_t senderKey, std::u16string_view senderText,
                                              const std::function<std::u16string()>& messageText);

}  // namespace velmo
