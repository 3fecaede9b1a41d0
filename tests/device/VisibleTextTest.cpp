#include <gtest/gtest.h>

#include <string>

#include "device/VisibleText.h"

using velmo::device::VisibleText;

namespace {

struct VisibleRow {
    const char* name;
    std::string text;
    std::string shown;
};

class VisibleTextShows : public ::testing::TestWithParam<VisibleRow> {};

TEST_P(VisibleTextShows, EveryControlCharacterWrittenOut) { EXPECT_EQ(VisibleText(GetParam().text), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(
    Rows, VisibleTextShows,
    ::testing::Values(VisibleRow{"PlainAscii", "Hi, it's Mum \\e", "Hi, it's Mum \\e"},
                      VisibleRow{"TitleAndClear", "\x1b]0;pwned\a\x1b[2J", "\\e]0;pwned\\x07\\e[2J"},
                      VisibleRow{"LineBreaksAndTab", "a\r\nb\tc", "a\\r\\nb\\tc"},
                      VisibleRow{"NulAndDel", std::string("x\0y\x7f", 4), "x\\x00y\\x7f"},
                      VisibleRow{"C1Controls",
                                 "\xc2\x85next\xc2\x9b"
                                 "2J\xc2\x80",
                                 "\\u0085next\\u009b2J\\u0080"},
                      VisibleRow{"BidiControls", "a\u202ecba\u2066\u2069\u200e\u200f\u061c\u202a",
                                 "a\\u202ecba\\u2066\\u2069\\u200e\\u200f\\u061c\\u202a"},
                      VisibleRow{"LettersAndEmojiStay", "Zo\xc3\xab \xe2\x80\x94 \xf0\x9f\x98\x80 \xd8\xb3",
                                 "Zo\xc3\xab \xe2\x80\x94 \xf0\x9f\x98\x80 \xd8\xb3"},
                      VisibleRow{"InvalidBytes",
                                 "a\xff\xc0\x9b"
                                 "b\xed\xa0\x80",
                                 "a\xef\xbf\xbd\xef\xbf\xbd"
                                 "b\xef\xbf\xbd"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
