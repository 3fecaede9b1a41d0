#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "common/SettingsStore.h"
#include "common/SpamModelFile.h"
#include "common/TextRuleFile.h"
#include "device/ContactStore.h"
#include "support/FileHelpers.h"
#include "support/HandlerDevice.h"

using namespace velmo;
using velmo::test::HandlerDevice;
using velmo::test::kUnwritten;
using velmo::test::Outcome;
using velmo::test::Sms;

namespace {

constexpr std::int32_t kAnna = 1;
const std::u16string kAnnasNumber = u"+1 555 010-0123";
const std::u16string kStranger = u"+44 20 7946 0000";

TextRule Rule(std::int32_t action, std::u16string pattern, bool regex = false, TextRuleScope in = TextRuleScope::Text) {
    return {action, regex, in, std::move(pattern)};
}

const std::u16string kPrizeText = u"Claim your prize now";

// A model that weighs only the features that "prize" has and "Hello, it is Mum" lacks, so the
// first text scores far above the threshold and the second far below; bias alone without them.
void WriteModel(HandlerDevice& h, bool weighPrize = true, float bias = -3.0F) {
    SpamModel model;
    model.shape.bucketBits = MinSpamBucketBits;
    model.bias = bias;
    model.weights.assign(std::size_t{1} << model.shape.bucketBits, 0.0F);
    std::vector<std::uint32_t> prize, mum;
    SpamFeatureBuckets(u"prize", model.shape, prize);
    SpamFeatureBuckets(u"Hello, it is Mum", model.shape, mum);
    for (std::uint32_t bucket : prize) {
        if (weighPrize && std::find(mum.begin(), mum.end(), bucket) == mum.end()) model.weights[bucket] = 8.0F;
    }
    ASSERT_TRUE(WriteSpamModel(device::ToUtf16((h.AppDir() / SpamModelFileName).string()), model));
}

// The spam filter on with action, judging with WriteModel's model.
std::function<void(HandlerDevice&)> SpamFilter(DWORD action) {
    return [action](HandlerDevice& h) {
        WriteModel(h);
        if (action != 0) SettingsStore().WriteDword(SpamActionValue, action);
    };
}

struct DecisionRow {
    const char* name;
    std::u16string from;
    std::u16string text;
    std::vector<TextRule> rules;  // TextRules.dat holds these; none is written when empty
    std::int16_t itemsMode;
    std::int32_t expected;
    // Whatever else the row changes before the message arrives: the schedule, a damaged file.
    std::function<void(HandlerDevice&)> also = [](HandlerDevice&) {};
};
void PrintTo(const DecisionRow& row, std::ostream* out) { *out << row.name; }

class TextRuleDecision : public testing::TestWithParam<DecisionRow> {};

// The address book holds Anna (Accept); unknown senders are dismissed, undefined ones accepted.
TEST_P(TextRuleDecision, DecidesForStrangersOnly) {
    const DecisionRow& row = GetParam();
    HandlerDevice h;
    device::ContactEntry anna;
    anna[device::ContactField::FirstName] = u"Anna";
    anna[device::ContactField::MobileTelephoneNumber] = kAnnasNumber;
    std::vector<device::ContactEntry> all{anna};
    ASSERT_EQ(device::ContactStore().AddAll(all), std::vector<LONG>{kAnna});
    h.WriteContactStates({{Dismiss, UnknownSenderKey}, {Accept, UndefinedSenderKey}, {Accept, kAnna}});
    h.Filter(row.itemsMode);
    if (!row.rules.empty()) {
        ASSERT_TRUE(WriteTextRules(device::ToUtf16((h.AppDir() / "TextRules.dat").string()), row.rules));
    }
    row.also(h);

    Outcome outcome = h.Process(h.Receive(Sms{row.from, row.text}));

    EXPECT_EQ(outcome.result, S_OK);
    switch (row.expected) {
        case Accept:
            EXPECT_EQ(outcome.handled, MRC_NOT_HANDLED);
            EXPECT_EQ(outcome.eventType, kUnwritten);
            EXPECT_EQ(h.Messages().Count(u"Inbox"), 1u);
            break;
        case Dismiss:
            EXPECT_EQ(outcome.handled, MRC_HANDLED_DONTCONTINUE);
            EXPECT_EQ(outcome.eventType, fnevObjectDeleted);
            EXPECT_EQ(h.Messages().Count(u"Inbox"), 0u);
            break;
        case SilentAccept:
            EXPECT_EQ(outcome.handled, MRC_HANDLED_DONTCONTINUE);
            EXPECT_EQ(outcome.eventType, 0x1Cu);
            EXPECT_EQ(h.Messages().Count(u"Inbox"), 1u);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    ProcessMessage, TextRuleDecision,
    testing::Values(
        DecisionRow{"NoRulesFileKeepsTheUnknownAction", kStranger, u"Hello, it is Mum", {}, UserSettings, Dismiss},
        DecisionRow{"RuleDecidesInsteadOfTheUnknownAction",
                    kStranger,
                    u"Hello, it is Mum",
                    {Rule(Accept, u"mum")},
                    UserSettings,
                    Accept},
        DecisionRow{"NoRuleMatchesKeepsTheUnknownAction",
                    kStranger,
                    u"You have won a cruise",
                    {Rule(Accept, u"mum")},
                    UserSettings,
                    Dismiss},
        DecisionRow{"ContactBeatsRule",
                    kAnnasNumber,
                    u"You have won a cruise",
                    {Rule(Dismiss, u"cruise")},
                    UserSettings,
                    Accept},
        DecisionRow{"FirstRuleWins",
                    kStranger,
                    u"You have won a cruise",
                    {Rule(Accept, u"lottery"), Rule(SilentAccept, u"cruise"), Rule(Accept, u"won")},
                    UserSettings,
                    SilentAccept},
        DecisionRow{"SenderRuleDecidesForUndefined",
                    u"PRIZEDESK",
                    u"Claim now",
                    {Rule(Dismiss, u"prize", false, TextRuleScope::Sender)},
                    UserSettings,
                    Dismiss},
        DecisionRow{"NonLatinWordsFoldCase",
                    kStranger,
                    u"Вы ВЫИГРАЛИ круиз",
                    {Rule(SilentAccept, u"выиграли")},
                    UserSettings,
                    SilentAccept},
        DecisionRow{"BadStoredPatternIsSkipped",
                    kStranger,
                    u"Your prize",
                    {Rule(Accept, u"(prize", true), Rule(SilentAccept, u"prize")},
                    UserSettings,
                    SilentAccept},
        DecisionRow{
            "ItemsModeOverridesRules", kStranger, u"Hello, it is Mum", {Rule(Accept, u"mum")}, DismissAll, Dismiss},
        DecisionRow{"ScheduleGatesRules",
                    kStranger,
                    u"You have won a cruise",
                    {Rule(Dismiss, u"cruise")},
                    UserSettings,
                    Accept,
                    [](HandlerDevice&) {
                        SettingsStore settings;
                        settings.SetActiveState(ActiveBySchedule);
                        settings.SetStartTime({8, 0, 0});
                        settings.SetEndTime({8, 0, 0});
                    }},
        // The handler keeps the rules compiled between messages: an edit must still decide the next one.
        DecisionRow{"EditedRulesDecideTheNextMessage",
                    kStranger,
                    u"Hello, it is Mum",
                    {Rule(Dismiss, u"mum")},
                    UserSettings,
                    SilentAccept,
                    [](HandlerDevice& h) {
                        Outcome first = h.Process(h.Receive(Sms{kStranger, u"Mum again"}));
                        EXPECT_EQ(first.eventType, fnevObjectDeleted) << "the first rules dismiss";
                        ASSERT_TRUE(WriteTextRules(device::ToUtf16((h.AppDir() / "TextRules.dat").string()),
                                                   {Rule(SilentAccept, u"mum")}));
                    }},
        DecisionRow{"DamagedRulesFileMeansNoRules",
                    kStranger,
                    u"Hello, it is Mum",
                    {Rule(Accept, u"mum")},
                    UserSettings,
                    Dismiss,
                    [](HandlerDevice& h) {
                        auto bytes = test::ReadFileBytes(h.AppDir() / "TextRules.dat");
                        bytes.resize(bytes.size() - 1);  // the record is torn
                        test::WriteFileBytes(h.AppDir() / "TextRules.dat", bytes);
                    }},
        // The spam model judges strangers after their rules and before their rows.
        DecisionRow{"SpamFromStrangerGetsTheSpamAction",
                    kStranger,
                    kPrizeText,
                    {},
                    UserSettings,
                    SilentAccept,
                    SpamFilter(SilentAccept)},
        DecisionRow{"HamFromStrangerKeepsTheUnknownAction",
                    kStranger,
                    u"Hello, it is Mum",
                    {},
                    UserSettings,
                    Dismiss,
                    SpamFilter(SilentAccept)},
        DecisionRow{"SpamFromUndefinedGetsTheSpamAction",
                    u"PRIZEDESK",
                    kPrizeText,
                    {},
                    UserSettings,
                    Dismiss,
                    SpamFilter(Dismiss)},
        DecisionRow{"RuleBeatsSpamModel",
                    kStranger,
                    kPrizeText,
                    {Rule(Accept, u"prize")},
                    UserSettings,
                    Accept,
                    SpamFilter(SilentAccept)},
        DecisionRow{"ContactIsNeverJudged", kAnnasNumber, kPrizeText, {}, UserSettings, Accept, SpamFilter(Dismiss)},
        DecisionRow{"SpamActionMissingIsOff", u"PRIZEDESK", kPrizeText, {}, UserSettings, Accept, SpamFilter(0)},
        DecisionRow{"SpamActionOfAnotherValueIsOff", u"PRIZEDESK", kPrizeText, {}, UserSettings, Accept, SpamFilter(3)},
        DecisionRow{"ItemsModeOverridesSpamModel",
                    u"PRIZEDESK",
                    kPrizeText,
                    {},
                    SilentAcceptAll,
                    SilentAccept,
                    SpamFilter(Dismiss)},
        DecisionRow{"DamagedModelMeansNotSpam",
                    u"PRIZEDESK",
                    kPrizeText,
                    {},
                    UserSettings,
                    Accept,
                    [](HandlerDevice& h) {
                        SpamFilter(Dismiss)(h);
                        auto bytes = test::ReadFileBytes(h.AppDir() / SpamModelFileName);
                        bytes[SpamModelHeaderSize + 7] ^= 0x40;  // one weight's bit flipped
                        test::WriteFileBytes(h.AppDir() / SpamModelFileName, bytes);
                    }},
        // The handler keeps the model mapped between messages: a new one must still decide the next one.
        DecisionRow{"ReplacedModelDecidesTheNextMessage",
                    u"PRIZEDESK",
                    kPrizeText,
                    {},
                    UserSettings,
                    Accept,
                    [](HandlerDevice& h) {
                        SpamFilter(Dismiss)(h);
                        Outcome first = h.Process(h.Receive(Sms{u"PRIZEDESK", kPrizeText}));
                        EXPECT_EQ(first.eventType, fnevObjectDeleted) << "the first model judges it spam";
                        WriteModel(h, false);
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
