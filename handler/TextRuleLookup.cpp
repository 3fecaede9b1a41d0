#include "handler/TextRuleLookup.h"

#include "common/SettingsStore.h"
#include "common/TextRuleFile.h"
#include "common/TextRuleMatcher.h"
#include "common/Types.h"

namespace velmo {

std::optional<TextRuleVerdict> LookupTextRule(std::int32_t senderKey, std::u16string_view senderText,
                                              const std::function<std::u16string()>& messageText) {
    if (senderKey != UnknownSenderKey && senderKey != UndefinedSenderKey) return std::nullopt;
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    if (!TextRulesPath(settings, path)) return std::nullopt;
    const std::vector<TextRule> rules = ReadTextRules(path);
    if (rules.empty()) return std::nullopt;
    const std::optional<std::size_t> matched = FirstMatchingTextRule(rules, messageText(), senderText);
    if (!matched) return std::nullopt;
    return TextRuleVerdict{rules[*matched].action, static_cast<std::int32_t>(*matched + 1)};
}

}  // namespace velmo
