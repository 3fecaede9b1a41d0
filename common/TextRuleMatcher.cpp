#include "common/TextRuleMatcher.h"

#include <re2/re2.h>
#include <re2/set.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "device/Text.h"

namespace velmo {

namespace {

// Each rule's program is bounded, so 64 hostile patterns cannot exhaust the handler's host;
// so is the one program of all the rules, which also holds the states its runs have built.
constexpr std::int64_t kRuleMemory = 1 << 20;
constexpr std::int64_t kSetMemory = 8 << 20;

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

bool LooksIn(const TextRule& rule, TextRuleScope scope) {
    return (static_cast<std::uint32_t>(rule.lookIn) & static_cast<std::uint32_t>(scope)) != 0;
}

// Each rule compiled and tried on its own, in order, until one matches: RE2 falls back from
// its DFA to its linear NFA whenever the DFA runs out of memory, so no rule is ever given up.
std::optional<std::size_t> MatchOneByOne(const std::vector<TextRule>& rules, Utf8Text& text, Utf8Text& sender) {
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const TextRule& rule = rules[i];
        // Compiled only when reached: a match ends the search.
        std::optional<RE2> program;
        if (!Compile(rule, program).empty()) continue;
        if ((LooksIn(rule, TextRuleScope::Text) && RE2::PartialMatch(text.Get(), *program)) ||
            (LooksIn(rule, TextRuleScope::Sender) && RE2::PartialMatch(sender.Get(), *program))) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

// Every rule in one program, compiled once and run once over each text: one compilation costs
// a fraction of 64. Plain words become case-folded literals, which is what RE2's literal mode
// makes of them too.
struct TextRuleMatcher::Program {
    explicit Program(const RE2::Options& options) : set(options, RE2::UNANCHORED) {}
    RE2::Set set;
    std::vector<std::size_t> ruleOf;  // the rule of each pattern in the set
};

TextRuleMatcher::TextRuleMatcher(std::vector<TextRule> rules) : rules_(std::move(rules)) {
    if (rules_.empty()) return;
    RE2::Options options;
    options.set_log_errors(false);
    options.set_never_capture(true);
    options.set_max_mem(kSetMemory);
    auto program = std::make_unique<Program>(options);
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const TextRule& rule = rules_[i];
        if (rule.pattern.empty() || rule.pattern.size() > MaxTextRulePatternUnits) continue;
        const std::string pattern = device::ToUtf8(rule.pattern);
        if (program->set.Add(rule.regex ? pattern : "(?i)" + RE2::QuoteMeta(pattern), nullptr) >= 0) {
            program->ruleOf.push_back(i);
        }
    }
    // A set that does not compile leaves each rule to be tried on its own.
    if (program->ruleOf.empty() || program->set.Compile()) program_ = std::move(program);
}

TextRuleMatcher::~TextRuleMatcher() = default;

std::optional<std::size_t> TextRuleMatcher::FirstMatch(std::u16string_view messageText,
                                                       std::u16string_view senderText) const {
    if (rules_.empty()) return std::nullopt;
    Utf8Text text(messageText);
    Utf8Text sender(senderText);
    if (!program_) return MatchOneByOne(rules_, text, sender);
    if (program_->ruleOf.empty()) return std::nullopt;
    std::optional<std::size_t> first;
    for (const auto& place : {std::pair{TextRuleScope::Text, &text}, std::pair{TextRuleScope::Sender, &sender}}) {
        const TextRuleScope scope = place.first;
        if (std::none_of(program_->ruleOf.begin(), program_->ruleOf.end(),
                         [&](std::size_t i) { return LooksIn(rules_[i], scope); })) {
            continue;
        }
        std::vector<int> hits;
        RE2::Set::ErrorInfo error{RE2::Set::kNoError};
        // RE2 gave up on the set (its states outgrew their memory): each rule on its own.
        if (!program_->set.Match(place.second->Get(), &hits, &error) && error.kind != RE2::Set::kNoError) {
            return MatchOneByOne(rules_, text, sender);
        }
        for (int hit : hits) {
            const std::size_t rule = program_->ruleOf[static_cast<std::size_t>(hit)];
            if (LooksIn(rules_[rule], scope) && (!first || rule < *first)) first = rule;
        }
    }
    return first;
}

std::string TextRulePatternError(const TextRule& rule) {
    std::optional<RE2> program;
    return Compile(rule, program);
}

std::optional<std::size_t> FirstMatchingTextRule(const std::vector<TextRule>& rules, std::u16string_view messageText,
                                                 std::u16string_view senderText) {
    return TextRuleMatcher(rules).FirstMatch(messageText, senderText);
}

}  // namespace velmo
