#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "device/SmsInput.h"
#include "support/ScopedTimeZone.h"

namespace {

using velmo::device::ParseDeliveryTime;
using velmo::device::ParseSmsLine;
using namespace std::chrono;
using namespace std::string_literals;

struct TimeRow {
    const char* name;
    const char* text;
    sys_seconds expected;
};

constexpr auto May1 = sys_days(year(2024) / May / 1);

class DeliveryTime : public ::testing::TestWithParam<TimeRow> {
protected:
    velmo::test::ScopedTimeZone zone_{"America/New_York"};  // local time: UTC-4 in May
};

// The FILETIME of an instant, counted here in whole seconds from 1601.
std::uint64_t FileTimeAt(sys_seconds instant) {
    return static_cast<std::uint64_t>((instant - sys_days(year(1601) / January / 1)).count()) * 10'000'000ULL;
}

TEST_P(DeliveryTime, IsReadAsTheInstantItNames) {
    EXPECT_EQ(velmo::device::FileTimeOf(ParseDeliveryTime(GetParam().text)), FileTimeAt(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeliveryTime,
    ::testing::Values(
        TimeRow{"Utc", "2024-05-01T09:30:15Z", May1 + 9h + 30min + 15s},
        TimeRow{"EastOfUtc", "2024-05-01T09:30:00+02:00", May1 + 7h + 30min},
        TimeRow{"WestOfUtcWithoutColon", "2024-05-01T09:30:00-0530", May1 + 15h},
        TimeRow{"LocalWithoutSeconds", "2024-05-01T09:30", May1 + 13h + 30min},
        TimeRow{"SpaceForT", "2024-05-01 23:59:59Z", May1 + 23h + 59min + 59s},
        TimeRow{"LeapDay", "2024-02-29T00:00:00Z", sys_days(year(2024) / February / 29)},
        // Beyond what a nanosecond clock holds (about 1678 to 2262), to both ends.
        TimeRow{"FirstInstant", "1601-01-01T00:00:00Z", sys_days(year(1601) / January / 1)},
        TimeRow{"LocalBefore1678", "1650-07-01T08:00:00", sys_days(year(1650) / July / 1) + 12h + 56min + 2s},
        TimeRow{"Year2300", "2300-01-01T00:00Z", sys_days(year(2300) / January / 1)},
        TimeRow{"LastSecond", "9999-12-31T23:59:59Z", sys_days(year(10000) / January / 1) - 1s},
        TimeRow{"LastDayEastOfUtc", "9999-12-31T23:59:59+23:59", sys_days(year(9999) / December / 31) + 59s}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadTimeRow {
    const char* name;
    const char* text;
};

class DeliveryTimeRefuses : public ::testing::TestWithParam<BadTimeRow> {};

TEST_P(DeliveryTimeRefuses, Text) { EXPECT_THROW(ParseDeliveryTime(GetParam().text), std::invalid_argument); }

INSTANTIATE_TEST_SUITE_P(
    Rows, DeliveryTimeRefuses,
    ::testing::Values(BadTimeRow{"Empty", ""}, BadTimeRow{"DateOnly", "2024-05-01"},
                      BadTimeRow{"NoSuchDay", "2023-02-29T10:00Z"}, BadTimeRow{"Hour24", "2024-05-01T24:00Z"},
                      BadTimeRow{"TrailingText", "2024-05-01T10:00Zulu"}, BadTimeRow{"ShortYear", "24-05-01T10:00Z"},
                      BadTimeRow{"SignedMonth", "2024-+5-01T10:00Z"}, BadTimeRow{"BadZone", "2024-05-01T10:00+2"},
                      BadTimeRow{"Before1601", "1601-01-01T00:59:59+01:00"},
                      BadTimeRow{"Year10000", "10000-01-01T00:00Z"},
                      BadTimeRow{"After9999WestOfUtc", "9999-12-31T23:59:59-12:00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmsLine, GivesNumberNameTextAndTime) {
    auto full = ParseSmsLine("+1 555 0100\tAda Marsh\tHello there\t2024-05-01T10:00:00Z\r");
    EXPECT_EQ(full.number, u"+1 555 0100");
    EXPECT_EQ(full.name, u"Ada Marsh");
    EXPECT_EQ(full.text, u"Hello there");
    ASSERT_TRUE(full.deliveryTime.has_value());
    EXPECT_EQ(time_point_cast<seconds>(*full.deliveryTime), May1 + 10h);

    auto bare = ParseSmsLine("ParcelNet\t\tSj\xc3\xb6n, your parcel");
    EXPECT_EQ(bare.name, u"");
    EXPECT_EQ(bare.text, u"Sj\u00f6n, your parcel");
    EXPECT_FALSE(bare.deliveryTime.has_value());
}

// Gives its text, then fails as a disk with an I/O error does.
class FailingBuffer : public std::stringbuf {
public:
    explicit FailingBuffer(const std::string& text) : std::stringbuf(text) {}

protected:
    int_type underflow() override {
        int_type next = std::stringbuf::underflow();
        if (next == traits_type::eof()) throw std::ios_base::failure("I/O error");
        return next;
    }
};

TEST(SmsBatch, ReadErrorIsNoEndOfTheBatch) {
    FailingBuffer buffer("+1 555 0100\t\tone\n");
    std::istream in(&buffer);
    velmo::device::SmsBatchReader reader(in);
    EXPECT_TRUE(reader.Next().has_value());
    try {
        reader.Next();
        ADD_FAILURE() << "the failed read ended the batch";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "line 2 cannot be read");
    }
}

std::vector<velmo::device::IncomingSms> ReadAll(const std::string& text) {
    std::istringstream in(text);
    velmo::device::SmsBatchReader reader(in);
    std::vector<velmo::device::IncomingSms> messages;
    while (auto sms = reader.Next()) messages.push_back(*sms);
    return messages;
}

TEST(SmsBatch, SkipsCommentsAndNamesTheLineOfAnError) {
    auto messages = ReadAll("# a comment\n\n+1 555 0100\t\tone\n555-0101\tBede\ttwo\t\n");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, u"two");
    EXPECT_FALSE(messages[1].deliveryTime.has_value());

    for (std::string bad : {"+1 555 0100\t\tone\nno tabs here\n"s, "+1 555 0100\t\tone\n\tname\ttext\n"s,
                            "+1 555 0100\t\tone\n555\tn\tt\tyesterday\n"s, "+1 555 0100\t\tone\na\tb\tc\td\te\n"s,
                            // A NUL would cut the stored field short.
                            "+1 555 0100\t\tone\n555\0 666\tn\tt\n"s, "+1 555 0100\t\tone\n555\tn\tt\0ext\n"s}) {
        std::istringstream in(bad);
        velmo::device::SmsBatchReader reader(in);
        EXPECT_TRUE(reader.Next().has_value()) << bad;
        try {
            reader.Next();
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(std::string(error.what()).rfind("line 2: ", 0), 0u) << error.what();
        }
    }
}

}  // namespace
