#pragma once
// Whether a message matches the user's text rules. Plain words match as a substring under
// Unicode simple case folding; regular expressions run on RE2, whose time is linear in the
// text whatever the pattern, because the text is written by strangers.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/TextRuleFile.h"

namespace velmo {

// Why rule's pattern cannot be used, in RE2's words (UTF-8); empty when it can. An empty or
// over-long pattern is refused too. VelmoLight and velmo-device refuse a rule on entry with it.
std::string TextRulePatternError(const TextRule& rule);

// The rules with their patterns compiled once, to be tried on any number of messages, from
// several threads at once.
class TextRuleMatcher {
public:
    explicit TextRuleMatcher(std::vector<TextRule> rules);
    ~TextRuleMatcher();
    TextRuleMatcher(const TextRuleMatcher&) = delete;
    TextRuleMatcher& operator=(const TextRuleMatcher&) = delete;

    const std::vector<TextRule>& Rules() const { return rules_; }

    // The index of the first rule, in the user's order, that matches the message's text or
    // its sender's text, as the rule says; none when no rule matches. A rule whose pattern
    // does not compile, or that RE2 gives up on, does not match.
    std::optional<std::size_t> FirstMatch(std::u16string_view messageText, std::u16string_view senderText) const;

private:
    struct Program;

    std::vector<TextRule> rules_;
    std::unique_ptr<const Program> program_;  // null when the rules could not be compiled together
};

// TextRuleMatcher(rules).FirstMatch(messageText, senderText).
std::optional<std::size_t> FirstMatchingTextRule(const std::vector<TextRule>& rules, std::u16string_view messageText,
                                                 std::u16string_view senderText);

}  // namespace velmo
