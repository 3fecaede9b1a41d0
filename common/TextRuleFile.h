#pragma once
// TextRules.dat: the user's text rules, which screen the messages of senders outside the
// address book by what they say. VelmoLight and velmo-device write it, replacing it whole;
// the handler reads it for each message from an unknown or undefined sender. A 64-byte header
// is followed by fixed 520-byte records, little-endian:
//
//   header  0  32  magic: the UTF-16 text "VL_TEXT_RULES", zero units up to offset 32
//          32   4  version, unsigned: 1
//          36   4  count of records, signed, 0 to 64
//          40   4  record size, unsigned: 520
//          44  20  zero
//   record  0   4  action, signed: a FilterAction (0 Accept, 1 Dismiss, 2 SilentAccept)
//           4   4  flags: bit 0 regular expression, bit 1 look in the message text,
//                  bit 2 look in the sender's text; no other bit set
//           8 512  pattern: at most 255 UTF-16 units, zero-terminated, zero-filled

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Types.h"

namespace velmo {

class SettingsStore;

inline constexpr const char16_t* TextRulesFileName = u"TextRules.dat";

// Where a rule looks; the numbers are the rule's look-in flag bits.
enum class TextRuleScope : std::uint32_t {
    Text = 2,
    Sender = 4,
    Both = 6,
};

struct TextRule {
    std::int32_t action = Accept;
    bool regex = false;
    TextRuleScope lookIn = TextRuleScope::Text;
    std::u16string pattern;
    friend bool operator==(const TextRule&, const TextRule&) = default;
};

inline constexpr std::size_t MaxTextRules = 64;
inline constexpr std::size_t MaxTextRulePatternUnits = 255;
inline constexpr std::size_t TextRulesHeaderSize = 64;
inline constexpr std::size_t TextRuleRecordSize = 520;
inline constexpr std::uint32_t TextRulesVersion = 1;

// The rules of a file's bytes, in the user's order. A file that is short, has another magic,
// version or record size, or a count outside 0..64 or beyond its end holds no rules; a record
// with an unknown action or flags, or a pattern that is empty or unterminated, is left out.
std::vector<TextRule> ParseTextRules(std::span<const std::uint8_t> bytes);

// The file's bytes for rules; empty when they break a limit (more than 64 rules, a pattern
// empty or longer than 255 units, an action other than the three).
std::vector<std::uint8_t> SerializeTextRules(const std::vector<TextRule>& rules);

// "AppPath" followed by TextRules.dat into path (MAX_PATH units); false, path empty, without "AppPath".
bool TextRulesPath(SettingsStore& settings, char16_t* path);

// The rules of the file at path; none when it is missing or damaged.
std::vector<TextRule> ReadTextRules(std::u16string_view path);

// Replaces the file at path atomically; false, the old file untouched, when rules break a
// limit or the file cannot be written.
bool WriteTextRules(std::u16string_view path, const std::vector<TextRule>& rules);

}  // namespace velmo
