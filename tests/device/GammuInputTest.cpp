#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "device/GammuInput.h"
#include "support/ScopedTimeZone.h"

namespace {

using velmo::device::GammuFileTime;
using velmo::device::IncomingSms;
using velmo::device::ReadGammuMessages;
using namespace std::chrono;

using Environment = std::map<std::string, std::string>;

velmo::device::EnvironmentLookup Lookup(const Environment& environment) {
    return [&environment](const std::string& name) -> std::optional<std::string> {
        auto found = environment.find(name);
        if (found == environment.end()) return std::nullopt;
        return found->second;
    };
}

constexpr auto May1 = sys_days(year(2024) / May / 1);

// File names carry local time; New York is UTC-4 in May.
class InNewYork {
protected:
    velmo::test::ScopedTimeZone zone_{"America/New_York"};
};

struct Expected {
    std::u16string number;
    std::u16string text;
    std::optional<sys_seconds> time;
};

struct MessagesRow {
    const char* name;
    Environment environment;
    std::vector<std::string> files;
    std::vector<Expected> expected;
};

class GammuMessages : public InNewYork, public ::testing::TestWithParam<MessagesRow> {};

TEST_P(GammuMessages, AreReadFromTheEnvironmentAndFileNames) {
    auto messages = ReadGammuMessages(Lookup(GetParam().environment), GetParam().files);
    ASSERT_EQ(messages.size(), GetParam().expected.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const auto& expected = GetParam().expected[i];
        EXPECT_EQ(messages[i].number, expected.number) << i;
        EXPECT_EQ(messages[i].name, u"") << i;
        EXPECT_EQ(messages[i].text, expected.text) << i;
        std::optional<sys_seconds> time;
        if (messages[i].deliveryTime) time = time_point_cast<seconds>(*messages[i].deliveryTime);
        EXPECT_EQ(time, expected.time) << i;
    }
}

const std::string Part1(153, 'a');
const std::string Part2(147, 'b');

INSTANTIATE_TEST_SUITE_P(
    Rows, GammuMessages,
    ::testing::Values(MessagesRow{"OneMessage",
                                  {{"SMS_MESSAGES", "1"},
                                   {"DECODED_PARTS", "0"},
                                   {"SMS_1_NUMBER", "+15550199"},
                                   {"SMS_1_TEXT", "You have won"},
                                   {"SMS_1_CLASS", "-1"}},
                                  {"IN20240501_093015_00_+15550199_00.txt"},
                                  {{u"+15550199", u"You have won", May1 + 13h + 30min + 15s}}},
                      MessagesRow{"LongMessageIsOne",
                                  {{"SMS_MESSAGES", "2"},
                                   {"DECODED_PARTS", "1"},
                                   {"SMS_1_NUMBER", "+15550100"},
                                   {"SMS_1_TEXT", Part1},
                                   {"SMS_2_NUMBER", "+15550100"},
                                   {"SMS_2_TEXT", Part2},
                                   {"DECODED_1_TEXT", Part1 + Part2}},
                                  {"/var/spool/sms/IN20240501_235959_00_+15550100_00.txt",
                                   "/var/spool/sms/IN20240502_000001_00_+15550100_01.txt"},
                                  {{u"+15550100", std::u16string(153, u'a') + std::u16string(147, u'b'),
                                    May1 + 27h + 59min + 59s}}},
                      MessagesRow{"DecodedPartsJoinInOrder",
                                  {{"SMS_MESSAGES", "1"},
                                   {"DECODED_PARTS", "3"},
                                   {"SMS_1_NUMBER", "555"},
                                   {"SMS_1_TEXT", "x"},
                                   {"DECODED_1_TEXT", "one "},
                                   {"DECODED_3_TEXT", "three"}},
                                  {},
                                  {{u"555", u"one three", std::nullopt}}},
                      MessagesRow{"UndecodedPartsStayApart",
                                  {{"SMS_MESSAGES", "2"},
                                   {"SMS_1_NUMBER", "111"},
                                   {"SMS_1_TEXT", "first"},
                                   {"SMS_2_NUMBER", "222"},
                                   {"SMS_2_TEXT", "second"}},
                                  {"17", "IN20240501_093000_00_222_00.txt"},
                                  {{u"111", u"first", std::nullopt}, {u"222", u"second", May1 + 13h + 30min}}},
                      MessagesRow{"BinaryMessageArrivesEmpty",
                                  {{"SMS_MESSAGES", "1"}, {"DECODED_PARTS", "1"}, {"SMS_1_NUMBER", "Operator"}},
                                  {"IN20241301_093000_00_Operator_00.bin"},
                                  {{u"Operator", u"", std::nullopt}}},
                      MessagesRow{"InvalidUtf8IsReplacedNotDropped",
                                  {{"SMS_MESSAGES", "1"},
                                   {"SMS_1_NUMBER", "+4915\xff"},
                                   {"SMS_1_TEXT",
                                    "Gr\xfc\xdf"
                                    "e \xe2\x82\xac"}},
                                  {},
                                  {{u"+4915\uFFFD", u"Gr\uFFFD\uFFFDe \u20AC", std::nullopt}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct MalformedRow {
    const char* name;
    Environment environment;
    const char* error;
};

class GammuMessagesRefuse : public ::testing::TestWithParam<MalformedRow> {};

TEST_P(GammuMessagesRefuse, MalformedEnvironment) {
    try {
        ReadGammuMessages(Lookup(GetParam().environment), {});
        FAIL() << "no error";
    } catch (const std::invalid_argument& error) {
        EXPECT_NE(std::string(error.what()).find(GetParam().error), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GammuMessagesRefuse,
    ::testing::Values(MalformedRow{"NotRunByGammu", {}, "SMS_MESSAGES is not set"},
                      MalformedRow{"NoMessages", {{"SMS_MESSAGES", "0"}}, "SMS_MESSAGES=\"0\" is not a count from 1"},
                      MalformedRow{
                          "CountNotANumber", {{"SMS_MESSAGES", "+1"}, {"SMS_1_NUMBER", "5"}}, "SMS_MESSAGES=\"+1\""},
                      MalformedRow{"CountTooLarge", {{"SMS_MESSAGES", "99999999999"}}, "to 255"},
                      MalformedRow{"NumberMissing",
                                   {{"SMS_MESSAGES", "2"}, {"SMS_1_NUMBER", "5"}, {"SMS_1_TEXT", "t"}},
                                   "SMS_2_NUMBER is not set, though SMS_MESSAGES is 2"},
                      MalformedRow{"DecodedPartsNotANumber",
                                   {{"SMS_MESSAGES", "1"}, {"SMS_1_NUMBER", "5"}, {"DECODED_PARTS", "one"}},
                                   "DECODED_PARTS=\"one\""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
