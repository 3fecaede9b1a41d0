#include "handler/TextRuleLookup.h"

#include <memory>
#include <mutex>

#include "common/SettingsStore.h"
#include "common/TextRuleFile.h"
#include "common/TextRuleMatcher.h"
#include "common/Types.h"

namespace velmo {

namespace {

// The compiled form of the rules that TextRules.dat held at the last message, for as long as
// it holds the very same rules: compiling 64 patterns costs more than the walk through the
// address book, while the file changes only when the user edits the rules. The file is still
// read for every message, so an edit takes effect with the next one. This is the handler's
// one process-wide memory of an earlier message, and it holds nothing that was not in the file.
std::shared_ptr<const TextRuleMatcher> MatcherFor(std::vector<TextRule> rules) {
    static std::mutex guard;
    static std::shared_ptr<const TextRuleMatcher> kept;
    {
        std::lock_guard lock(guard);
        if (kept && kept->Rules() == rules) return kept;
    }
    auto compiled = std::make_shared<const TextRuleMatcher>(std::move(rules));
    std::lock_guard lock(guard);
    kept = compiled;
    return compiled;
}

}  // namespace

std::optional<TextRuleVerdict> LookupTextRule(std::int32_t senderKey, std::u16string_view senderText,
                                              const std::function<std::u16string()>& messageText) {
    if (senderKey != UnknownSenderKey && senderKey != UndefinedSenderKey) return std::nullopt;
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    if (!TextRulesPath(settings, path)) return std::nullopt;
    std::vector<TextRule> rules = ReadTextRules(path);
    if (rules.empty()) return std::nullopt;
    const std::shared_ptr<const TextRuleMatcher> matcher = MatcherFor(std::move(rules));
    const std::optional<std::size_t> matched = matcher->FirstMatch(messageText(), senderText);
    if (!matched) return std::nullopt;
    return TextRuleVerdict{matcher->Rules()[*matched].action, static_cast<std::int32_t>(*matched + 1)};
}

}  // namespace velmo
