#include <gtest/gtest.h>

#include "device/ModemSms.h"
#include "support/ScopedTimeZone.h"

namespace {

using namespace std::chrono;
using velmo::device::ModemSmsProperties;
using velmo::device::ModemSmsReading;
using Kind = ModemSmsReading::Kind;

constexpr auto May1 = sys_days(year(2024) / May / 1);

ModemSmsProperties Received(const char* timestamp, std::u16string text = u"Hi", std::u16string number = u"+15550100") {
    ModemSmsProperties properties;
    properties.state = 3;
    properties.pduType = 1;
    properties.number = number;
    properties.text = text;
    properties.timestamp = timestamp;
    return properties;
}

template <typename Change>
ModemSmsProperties With(Change change) {
    ModemSmsProperties properties = Received("2024-05-01T09:30:15+02");
    change(properties);
    return properties;
}

struct ReadingRow {
    const char* name;
    ModemSmsProperties properties;
    Kind kind;
    std::u16string number;
    std::u16string text;
    std::optional<sys_seconds> delivered;  // empty: the device's now
    const char* note;                      // a part of the note, "" for none
};

class ModemSms : public ::testing::TestWithParam<ReadingRow> {
protected:
    velmo::test::ScopedTimeZone zone_{"America/New_York"};  // local time: UTC-4 in May
};

TEST_P(ModemSms, IsReadAsTheTransportReceivesIt) {
    const auto& row = GetParam();
    ModemSmsReading reading = velmo::device::ReadModemSms(row.properties);
    EXPECT_EQ(reading.kind, row.kind);
    if (*row.note == '\0') {
        EXPECT_EQ(reading.note, "");
    } else {
        EXPECT_NE(reading.note.find(row.note), std::string::npos) << reading.note;
    }
    if (row.kind != Kind::Received) return;
    EXPECT_EQ(reading.sms.number, row.number);
    EXPECT_EQ(reading.sms.text, row.text);
    ASSERT_EQ(reading.sms.deliveryTime.has_value(), row.delivered.has_value());
    if (row.delivered) {
        EXPECT_EQ(time_point_cast<seconds>(*reading.sms.deliveryTime), *row.delivered);
    }
}

const std::u16string LoneHigh = std::u16string(u"a") + char16_t(0xD83D) + u"b";
const std::u16string LoneLow = std::u16string(u"a") + char16_t(0xDE00);

INSTANTIATE_TEST_SUITE_P(
    Rows, ModemSms,
    ::testing::Values(
        ReadingRow{"OffsetInHours", Received("2024-05-01T09:30:15+02"), Kind::Received, u"+15550100", u"Hi",
                   May1 + 7h + 30min + 15s, ""},
        ReadingRow{"OffsetWithMinutesWest", Received("2024-05-01T09:30:15-05:30"), Kind::Received, u"+15550100", u"Hi",
                   May1 + 15h + 15s, ""},
        ReadingRow{"UtcWithFraction", Received("2024-05-01T09:30:15.250Z"), Kind::Received, u"+15550100", u"Hi",
                   May1 + 9h + 30min + 15s, ""},
        ReadingRow{"NoZoneIsLocal", Received("2024-05-01T09:30:15"), Kind::Received, u"+15550100", u"Hi",
                   May1 + 13h + 30min + 15s, ""},
        ReadingRow{"NoTimestampIsNow", Received(""), Kind::Received, u"+15550100", u"Hi", std::nullopt, ""},
        ReadingRow{"BadTimestampIsNowWithANote", Received("yesterday"), Kind::Received, u"+15550100", u"Hi",
                   std::nullopt, "its Timestamp \"yesterday\" is not an ISO 8601 time: the year must be"},
        ReadingRow{"EmptyNumberIsStillReceived", Received("", u"Hi", u""), Kind::Received, u"", u"Hi", std::nullopt,
                   ""},
        ReadingRow{"UnpairedSurrogatesBecomeReplacements", Received("", LoneHigh + LoneLow + u"\U0001F600"),
                   Kind::Received, u"+15550100", u"a\uFFFDba\uFFFD\U0001F600", std::nullopt, ""},
        ReadingRow{"PartsMissing", With([](auto& p) { p.state = 2; }), Kind::Receiving, u"", u"", std::nullopt, ""},
        ReadingRow{"SentMessage", With([](auto& p) { p.state = 5; }), Kind::NotIncoming, u"", u"", std::nullopt, ""},
        ReadingRow{"StateBeyondTheKnownOnes", With([](auto& p) { p.state = 6; }), Kind::Skipped, u"", u"", std::nullopt,
                   "its State 6 is none that ModemManager defines; left on the modem"},
        ReadingRow{"BinaryMessage", With([](auto& p) {
                       p.text = u"";
                       p.dataBytes = 12;
                   }),
                   Kind::Skipped, u"", u"", std::nullopt, "a binary message of 12 bytes"},
        ReadingRow{"DeliveryReport", With([](auto& p) { p.pduType = 3; }), Kind::Skipped, u"", u"", std::nullopt,
                   "a delivery report"},
        ReadingRow{"NoState", With([](auto& p) { p.state.reset(); }), Kind::Malformed, u"", u"", std::nullopt,
                   "it has no State"},
        ReadingRow{"WrongTypes", With([](auto& p) {
                       p.wrongTypes = {"Number", "State"};
                   }),
                   Kind::Malformed, u"", u"", std::nullopt, "a property of the wrong type: Number, State"}),
    [](const auto& info) { return std::string(info.param.name); });

// The journal tells two messages apart by the key alone, so nothing the fields hold may
// make two different messages one.
TEST(ModemSmsKey, KeepsFieldsApartWhateverTheyHold) {
    auto key = [](std::u16string number, std::u16string text) {
        return velmo::device::ReadModemSms(Received("2024-05-01T09:30:15+02", text, number)).key;
    };
    EXPECT_NE(key(u"+1\t", u"x"), key(u"+1", u"\tx"));
    EXPECT_NE(key(u"+1", u"a\\nb"), key(u"+1", u"a\nb"));
    EXPECT_EQ(key(u"+1", u"a\nb").find('\n'), std::string::npos);
    // The text stands in it as its FNV-1a digest.
    EXPECT_EQ(key(u"+1", u"Hi"), "+1\t2024-05-01T09:30:15+02\t09275f07b5bb95ba");
}

}  // namespace
