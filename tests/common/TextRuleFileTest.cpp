#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "common/TextRuleFile.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/TempDevice.h"

using namespace velmo;
using velmo::test::ReadFileBytes;
using velmo::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

using velmo::test::PutLe32;

using Bytes = std::vector<std::uint8_t>;

void PutText(Bytes& bytes, std::size_t offset, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[offset + 2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        bytes[offset + 2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
}

// The file of these records, spelled out field by field: {action, flags, pattern}.
struct RawRecord {
    std::uint32_t action;
    std::uint32_t flags;
    std::u16string pattern;
};
Bytes FileBytes(const std::vector<RawRecord>& records) {
    Bytes bytes(64 + 520 * records.size(), 0);
    PutText(bytes, 0, u"VL_TEXT_RULES");
    PutLe32(bytes, 32, 1);
    PutLe32(bytes, 36, static_cast<std::uint32_t>(records.size()));
    PutLe32(bytes, 40, 520);
    for (std::size_t i = 0; i < records.size(); ++i) {
        PutLe32(bytes, 64 + 520 * i, records[i].action);
        PutLe32(bytes, 64 + 520 * i + 4, records[i].flags);
        PutText(bytes, 64 + 520 * i + 8, records[i].pattern);
    }
    return bytes;
}

const std::vector<RawRecord> kTwo = {{1, 2, u"prize"}, {2, 7, u"^Пр[иі]з\\d+$"}};
const std::vector<TextRule> kTwoRules = {{Dismiss, false, TextRuleScope::Text, u"prize"},
                                         {SilentAccept, true, TextRuleScope::Both, u"^Пр[иі]з\\d+$"}};

TEST(TextRuleFile, WritesEachFieldWhereTheLayoutPutsIt) {
    test::TempDevice device;
    const fs::path file = device.Root() / "TextRules.dat";
    ASSERT_TRUE(WriteTextRules(device::ToUtf16(file.string()), kTwoRules));
    EXPECT_EQ(ReadFileBytes(file), FileBytes(kTwo));
    EXPECT_EQ(ReadTextRules(device::ToUtf16(file.string())), kTwoRules);
}

// ---------------------------------------------------------------------------------------------
// What a reader makes of a file on disk: damage to the whole means no rules, a bad record is left out.

struct ReadRow {
    const char* name;
    std::function<Bytes()> bytes;  // none written when it yields nothing
    std::vector<TextRule> expected;
};
void PrintTo(const ReadRow& row, std::ostream* out) { *out << row.name; }

class TextRuleFileRead : public testing::TestWithParam<ReadRow> {};

TEST_P(TextRuleFileRead, YieldsTheRulesTheUserCanHaveWritten) {
    test::TempDevice device;
    const fs::path file = device.Root() / "TextRules.dat";
    if (Bytes bytes = GetParam().bytes(); !bytes.empty()) WriteFileBytes(file, bytes);
    EXPECT_EQ(ReadTextRules(device::ToUtf16(file.string())), GetParam().expected);
}

Bytes With(Bytes bytes, std::size_t offset, std::uint32_t value) {
    PutLe32(bytes, offset, value);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    TextRuleFile, TextRuleFileRead,
    testing::Values(ReadRow{"Missing", [] { return Bytes{}; }, {}},
                    ReadRow{"ShorterThanItsHeader",
                            [] {
                                Bytes bytes = FileBytes({});
                                bytes.resize(63);
                                return bytes;
                            },
                            {}},
                    ReadRow{"OtherMagic", [] { return With(FileBytes(kTwo), 0, 0x0057); }, {}},
                    ReadRow{"OtherVersion", [] { return With(FileBytes(kTwo), 32, 2); }, {}},
                    ReadRow{"OtherRecordSize", [] { return With(FileBytes(kTwo), 40, 8); }, {}},
                    ReadRow{"CountBeyondTheEnd", [] { return With(FileBytes(kTwo), 36, 3); }, {}},
                    ReadRow{"NegativeCount", [] { return With(FileBytes(kTwo), 36, 0xFFFFFFFF); }, {}},
                    ReadRow{"MoreThan64",
                            [] {
                                return FileBytes(std::vector<RawRecord>(65, {0, 2, u"x"}));
                            },
                            {}},
                    ReadRow{"CountBelowTheRecordsPresent", [] { return With(FileBytes(kTwo), 36, 1); }, {kTwoRules[0]}},
                    ReadRow{"BadRecordsLeftOut",
                            [] {
                                Bytes bytes = FileBytes({{3, 2, u"unknown action"},
                                                         {0, 1, u"looks nowhere"},
                                                         {0, 10, u"unknown flag"},
                                                         {0, 2, u""},
                                                         kTwo[0],
                                                         {0, 2, u"tail"}});
                                // The last record's pattern fills all 256 units without a terminator.
                                for (std::size_t at = 64 + 520 * 5 + 8; at < bytes.size(); at += 2) bytes[at] = 'a';
                                return bytes;
                            },
                            {kTwoRules[0]}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Rules beyond the limits are refused whole, and the file on disk stays as it was.

struct LimitRow {
    const char* name;
    std::vector<TextRule> rules;
};
void PrintTo(const LimitRow& row, std::ostream* out) { *out << row.name; }

class TextRuleFileLimits : public testing::TestWithParam<LimitRow> {};

TEST_P(TextRuleFileLimits, RefusesAndKeepsTheOldFile) {
    test::TempDevice device;
    const fs::path file = device.Root() / "TextRules.dat";
    ASSERT_TRUE(WriteTextRules(device::ToUtf16(file.string()), kTwoRules));
    EXPECT_FALSE(WriteTextRules(device::ToUtf16(file.string()), GetParam().rules));
    EXPECT_EQ(ReadFileBytes(file), FileBytes(kTwo));
}

INSTANTIATE_TEST_SUITE_P(TextRuleFile, TextRuleFileLimits,
                         testing::Values(LimitRow{"SixtyFiveRules", std::vector<TextRule>(65, kTwoRules[0])},
                                         LimitRow{"PatternOf256Units",
                                                  {{Accept, false, TextRuleScope::Text, std::u16string(256, u'a')}}},
                                         LimitRow{"EmptyPattern", {{Accept, false, TextRuleScope::Text, u""}}},
                                         LimitRow{"UnknownAction", {{5, false, TextRuleScope::Text, u"x"}}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
