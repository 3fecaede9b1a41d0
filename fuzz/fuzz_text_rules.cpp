// Arbitrary bytes as TextRules.dat, and arbitrary patterns against arbitrary texts: the
// reader keeps to its limits and never reads past the end, and no pattern, however
// hostile, makes the matcher crash or run long.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "common/TextRuleFile.h"
#include "common/TextRuleMatcher.h"

namespace {

std::u16string Utf16(std::span<const std::uint8_t> bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::vector<velmo::TextRule> stored = velmo::ParseTextRules(bytes);
    if (stored.size() > velmo::MaxTextRules) std::abort();
    for (const auto& rule : stored) {
        if (rule.pattern.empty() || rule.pattern.size() > velmo::MaxTextRulePatternUnits) std::abort();
    }
    // What the reader accepts, the writer writes back to the same rules.
    if (velmo::ParseTextRules(velmo::SerializeTextRules(stored)) != stored) std::abort();

    // The first byte cuts the rest into a pattern and a text, tried as words and as a regex.
    const std::size_t cut = size > 0 ? std::min<std::size_t>(1 + 2 * data[0], size) : 0;
    std::u16string pattern = Utf16(bytes.subspan(size > 0 ? 1 : 0, cut - (size > 0 ? 1 : 0)));
    const std::u16string text = Utf16(bytes.subspan(cut));
    if (pattern.empty()) pattern.push_back(u'a');
    const std::vector<velmo::TextRule> tried = {{velmo::Dismiss, true, velmo::TextRuleScope::Both, pattern},
                                                {velmo::Accept, false, velmo::TextRuleScope::Text, pattern}};
    const auto matched = velmo::FirstMatchingTextRule(tried, text, text);
    // Plain words are found in a text that is nothing but those words.
    if (velmo::FirstMatchingTextRule({tried[1]}, pattern, u"") != 0u) std::abort();
    if (matched && *matched > 1) std::abort();
    // A matcher kept from one message to the next, as the handler keeps one, answers every
    // message as a fresh one would.
    const velmo::TextRuleMatcher kept(stored);
    const auto first = kept.FirstMatch(text, pattern);
    if (kept.FirstMatch(pattern, text) != velmo::FirstMatchingTextRule(stored, pattern, text)) std::abort();
    if (kept.FirstMatch(text, pattern) != first) std::abort();
    return 0;
}
