#include "common/TextRuleFile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/FileSwitch.h"
#include "common/LittleEndian.h"
#include "common/SettingsStore.h"
#include "device/Files.h"

namespace velmo {

namespace {

constexpr std::u16string_view kMagicText = u"VL_TEXT_RULES";
constexpr std::size_t kMagicSize = 32;
constexpr std::size_t kVersionOffset = 32;
constexpr std::size_t kCountOffset = 36;
constexpr std::size_t kRecordSizeOffset = 40;
constexpr std::size_t kFlagsOffset = 4;
constexpr std::size_t kPatternOffset = 8;
constexpr std::size_t kPatternUnits = MaxTextRulePatternUnits + 1;
constexpr std::uint32_t kRegexFlag = 1;
constexpr std::uint32_t kScopeFlags = static_cast<std::uint32_t>(TextRuleScope::Both);

static_assert(kPatternOffset + 2 * kPatternUnits == TextRuleRecordSize);

constexpr auto kMagic = Utf16LeMagic<kMagicSize>(kMagicText);

bool KnownAction(std::int32_t action) { return action == Accept || action == Dismiss || action == SilentAccept; }

bool WithinLimits(const TextRule& rule) {
    return KnownAction(rule.action) && !rule.pattern.empty() && rule.pattern.size() <= MaxTextRulePatternUnits &&
           rule.pattern.find(u'\0') == std::u16string::npos &&
           (rule.lookIn == TextRuleScope::Text || rule.lookIn == TextRuleScope::Sender ||
            rule.lookIn == TextRuleScope::Both);
}

// The rule of one record, or false for a record the user cannot have written.
bool ParseRecord(const std::uint8_t* record, TextRule& rule) {
    const auto action = static_cast<std::int32_t>(LoadLe32(record));
    const std::uint32_t flags = LoadLe32(record + kFlagsOffset);
    if (!KnownAction(action) || (flags & ~(kRegexFlag | kScopeFlags)) != 0 || (flags & kScopeFlags) == 0) {
        return false;
    }
    std::u16string pattern;
    for (std::size_t i = 0; i < kPatternUnits; ++i) {
        const std::uint8_t* unit = record + kPatternOffset + 2 * i;
        const auto c = static_cast<char16_t>(unit[0] | unit[1] << 8);
        if (c == u'\0') {
            if (pattern.empty()) return false;
            rule = TextRule{action, (flags & kRegexFlag) != 0, static_cast<TextRuleScope>(flags & kScopeFlags),
                            std::move(pattern)};
            return true;
        }
        pattern.push_back(c);
    }
    return false;  // no terminator within the record
}

}  // namespace

std::vector<TextRule> ParseTextRules(std::span<const std::uint8_t> bytes) {
    std::vector<TextRule> rules;
    if (bytes.size() < TextRulesHeaderSize || std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0 ||
        LoadLe32(bytes.data() + kVersionOffset) != TextRulesVersion ||
        LoadLe32(bytes.data() + kRecordSizeOffset) != TextRuleRecordSize) {
        return rules;
    }
    const auto count = static_cast<std::int32_t>(LoadLe32(bytes.data() + kCountOffset));
    if (count < 0 || static_cast<std::size_t>(count) > MaxTextRules ||
        bytes.size() < TextRulesHeaderSize + static_cast<std::size_t>(count) * TextRuleRecordSize) {
        return rules;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        TextRule rule;
        if (ParseRecord(bytes.data() + TextRulesHeaderSize + i * TextRuleRecordSize, rule)) {
            rules.push_back(std::move(rule));
        }
    }
    return rules;
}

std::vector<std::uint8_t> SerializeTextRules(const std::vector<TextRule>& rules) {
    if (rules.size() > MaxTextRules || !std::all_of(rules.begin(), rules.end(), WithinLimits)) return {};
    std::vector<std::uint8_t> bytes(TextRulesHeaderSize + rules.size() * TextRuleRecordSize, 0);
    std::memcpy(bytes.data(), kMagic.data(), kMagic.size());
    StoreLe32(bytes.data() + kVersionOffset, TextRulesVersion);
    StoreLe32(bytes.data() + kCountOffset, static_cast<std::uint32_t>(rules.size()));
    StoreLe32(bytes.data() + kRecordSizeOffset, TextRuleRecordSize);
    for (std::size_t i = 0; i < rules.size(); ++i) {
        std::uint8_t* record = bytes.data() + TextRulesHeaderSize + i * TextRuleRecordSize;
        const TextRule& rule = rules[i];
        StoreLe32(record, static_cast<std::uint32_t>(rule.action));
        StoreLe32(record + kFlagsOffset, (rule.regex ? kRegexFlag : 0) | static_cast<std::uint32_t>(rule.lookIn));
        for (std::size_t u = 0; u < rule.pattern.size(); ++u) {
            record[kPatternOffset + 2 * u] = static_cast<std::uint8_t>(rule.pattern[u] & 0xFF);
            record[kPatternOffset + 2 * u + 1] = static_cast<std::uint8_t>(rule.pattern[u] >> 8);
        }
    }
    return bytes;
}

bool TextRulesPath(SettingsStore& settings, char16_t* path) { return settings.AppFilePath(TextRulesFileName, path); }

std::vector<TextRule> ReadTextRules(std::u16string_view path) {
    device::MappedFile file;
    if (!file.Open(path, device::MappedFile::Mode::ReadOnly) || file.Data() == nullptr) return {};
    return ParseTextRules(std::span<const std::uint8_t>(file.Data(), file.Size()));
}

bool WriteTextRules(std::u16string_view path, const std::vector<TextRule>& rules) {
    const std::vector<std::uint8_t> bytes = SerializeTextRules(rules);
    if (bytes.empty()) return false;
    // Written over the file an interrupted import switched to, which would otherwise replace this one later.
    FinishFileSwitch(DirectoryOf(path));
    return device::ReplaceFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace velmo
