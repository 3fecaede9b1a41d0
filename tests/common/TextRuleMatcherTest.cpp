#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/TextRuleMatcher.h"

using namespace velmo;

namespace {

TextRule Words(std::u16string pattern, TextRuleScope in = TextRuleScope::Text) {
    return {Dismiss, false, in, std::move(pattern)};
}
TextRule Regex(std::u16string pattern, TextRuleScope in = TextRuleScope::Text) {
    return {Dismiss, true, in, std::move(pattern)};
}

struct MatchRow {
    const char* name;
    std::vector<TextRule> rules;
    std::u16string text;
    std::u16string sender;
    std::optional<std::size_t> expected;
};
void PrintTo(const MatchRow& row, std::ostream* out) { *out << row.name; }

class TextRuleMatch : public testing::TestWithParam<MatchRow> {};

TEST_P(TextRuleMatch, FindsTheFirstRuleThatMatches) {
    EXPECT_EQ(FirstMatchingTextRule(GetParam().rules, GetParam().text, GetParam().sender), GetParam().expected);
}

const std::u16string kLongA = std::u16string(159, u'a') + u"!";

INSTANTIATE_TEST_SUITE_P(
    TextRules, TextRuleMatch,
    testing::Values(
        MatchRow{"WordsIgnoreLatinCase", {Words(u"You have WON")}, u"you have won a cruise", u"+1", 0},
        MatchRow{"WordsFoldCyrillic", {Words(u"ПРИЗ")}, u"Ваш приз ждёт", u"+7", 0},
        MatchRow{"WordsFoldGreekFinalSigma", {Words(u"ΚΟΣΜΟΣ")}, u"νέος κοσμος", u"+30", 0},
        MatchRow{"WordsFoldSharpS", {Words(u"STRAẞE")}, u"Hauptstraße 1", u"+49", 0},
        MatchRow{"WordsAreNotPatterns", {Words(u"a.c")}, u"abc", u"+1", std::nullopt},
        MatchRow{"RegexKeepsCase", {Regex(u"^Code \\d{6}$")}, u"code 123456", u"+1", std::nullopt},
        MatchRow{"RegexMatchesAnywhere", {Regex(u"\\d{6}")}, u"Your code: 123456.", u"+1", 0},
        MatchRow{"TextRuleIgnoresTheSender", {Words(u"bank")}, u"hello", u"MyBank", std::nullopt},
        MatchRow{"SenderRuleIgnoresTheText", {Words(u"bank", TextRuleScope::Sender)}, u"bank", u"+1", std::nullopt},
        MatchRow{"SenderRuleReadsTheSender", {Words(u"bank", TextRuleScope::Sender)}, u"hi", u"MyBank", 0},
        MatchRow{"BothReadsEither", {Words(u"loan", TextRuleScope::Both)}, u"hi", u"LoanCo", 0},
        MatchRow{"FirstOfSeveralWins", {Words(u"none"), Words(u"cruise"), Words(u"won")}, u"won a cruise", u"+1", 1},
        MatchRow{"BadPatternIsSkipped", {Regex(u"(prize"), Words(u"prize")}, u"a prize", u"+1", 1},
        MatchRow{"OversizedPatternIsSkipped", {Regex(u"\\pL{1000}"), Words(u"prize")}, u"a prize", u"+1", 1},
        MatchRow{"SenderMatchOfALaterRuleLosesToAnEarlierTextMatch",
                 {Words(u"news", TextRuleScope::Text), Words(u"shop", TextRuleScope::Sender)},
                 u"news",
                 u"shop",
                 0},
        MatchRow{
            "PathologicalPatternEndsWithNoMatch", {Regex(u"(a+)+$"), Regex(u"(x+x+)+y")}, kLongA, u"+1", std::nullopt},
        MatchRow{"NoRules", {}, u"anything", u"+1", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct PatternRow {
    const char* name;
    TextRule rule;
    std::string errorPart;  // empty: the pattern is usable
};
void PrintTo(const PatternRow& row, std::ostream* out) { *out << row.name; }

class TextRulePattern : public testing::TestWithParam<PatternRow> {};

TEST_P(TextRulePattern, IsRefusedWithTheReason) {
    const std::string error = TextRulePatternError(GetParam().rule);
    if (GetParam().errorPart.empty()) {
        EXPECT_EQ(error, "");
    } else {
        EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(TextRules, TextRulePattern,
                         testing::Values(PatternRow{"PlainWordsWithRegexSigns", Words(u"(50% off"), ""},
                                         PatternRow{"GoodRegex", Regex(u"^[A-Z]{2,}$"), ""},
                                         PatternRow{"UnclosedGroup", Regex(u"(prize"), "missing )"},
                                         PatternRow{"BackReference", Regex(u"(a)\\1"), "invalid escape"},
                                         PatternRow{"BeyondTheMemoryLimit", Regex(u"\\pL{1000}"), "pattern too large"},
                                         PatternRow{"Empty", Words(u""), "empty"},
                                         PatternRow{"LongerThan255", Words(std::u16string(256, u'a')), "255"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
