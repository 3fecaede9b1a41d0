#include "common/TextRuleMatcher.h"

#include <re2/re2.h>

#include "device/Text.h"

namespace velmo {

namespace {

// Each rule's program is bounded, so 64 hostile patterns cannot exhaust the handler's host.
constexpr std::int64_t kRuleMemory = 1 << 20;

RE2::Options RuleOptions(const TextRule& rule) {
    RE2::Options options;
    options.set_log_errors(false);
    options.set_max_mem(kRuleMemory);
    options.set_never_capture(true);
    // RE2 folds case by Unicode's simple case folding, so plain words need no table of our own.
    options.set_literal(!rule.regex);
    options.set_case_sensitive(rule.regex);
    return options;
}

std::string Compile(const TextRule& rule, std::optional<RE2>& program) {
    if (rule.pattern.empty()) return "the pattern is empty";
    if (rule.pattern.size() > MaxTextRulePatternUnits) return "the pattern is longer than 255 characters";
    program.emplace(device::ToUtf8(rule.pattern), RuleOptions(rule));
    return program->ok() ? std::string() : program->error();
}

// The UTF-8 form of one of the message's texts, converted the first time a rule needs it.
class Utf8Text {
public:
    explicit Utf8Text(std::u16string_view text) : text_(text) {}
    const std::string& Get() {
        if (!utf8_) utf8_ = device::ToUtf8(text_);
        return *utf8_;
    }

private:
    std::u16string_view text_;
    std::optional<std::string> utf8_;
};

}  // namespace

std::string TextRulePatternError(const TextRule& rule) {
    std::optional<RE2> program;
    return Compile(rule, program);
}

std::optional<std::size_t> FirstMatchingTextRule(const std::vector<TextRule>& rules, std::u16string_view messageText,
                                                 std::u16string_view senderText) {
    Utf8Text text(messageText);
    Utf8Text sender(senderText);
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const TextRule& rule = rules[i];
        // Compiled only when reached: a match ends the search, and nothing is kept between messages.
        std::optional<RE2> program;
        if (!Compile(rule, program).empty()) continue;
        const auto in = static_cast<std::uint32_t>(rule.lookIn);
        if (((in & static_cast<std::uint32_t>(TextRuleScope::Text)) != 0 &&
             RE2::PartialMatch(text.Get(), *program)) ||
            ((in & static_cast<std::uint32_t>(TextRuleScope::Sender)) != 0 &&
             RE2::PartialMatch(sender.Get(), *program))) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace velmo
