#include <gtest/gtest.h>

#include <cstdlib>

#include "device/Clock.h"

using namespace velmo::device;

namespace {

struct ScopedNow {
    explicit ScopedNow(TimePoint now) { SetNowForTesting(now); }
    ~ScopedNow() { SetNowForTesting(std::nullopt); }
};

TimePoint Utc(int y, unsigned mo, unsigned d, int h, int mi, int s) {
    using namespace std::chrono;
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

}  // namespace

TEST(Clock, FileTimeCountsFrom1601InHundredNanoseconds) {
    // 1970-01-01 is 11644473600 seconds after 1601-01-01.
    EXPECT_EQ(ToFileTime(TimePoint{}), 116444736000000000ULL);
    auto instant = Utc(2026, 12, 8, 7, 30, 15) + std::chrono::milliseconds(250);
    EXPECT_EQ(FromFileTime(ToFileTime(instant)), instant);
}

TEST(Clock, SystemTimeAndFileTimeRoundTrip) {
    SYSTEMTIME st{2026, 12, 0, 8, 23, 59, 58, 999};
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(Join(ft), ToFileTime(Utc(2026, 12, 8, 23, 59, 58) + std::chrono::milliseconds(999)));
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, 2026);
    EXPECT_EQ(back.wMonth, 12);
    EXPECT_EQ(back.wDay, 8);
    EXPECT_EQ(back.wDayOfWeek, 2);  // a Tuesday
    EXPECT_EQ(back.wHour, 23);
    EXPECT_EQ(back.wMinute, 59);
    EXPECT_EQ(back.wSecond, 58);
    EXPECT_EQ(back.wMilliseconds, 999);
}

TEST(Clock, RejectsImpossibleDates) {
    SYSTEMTIME february30{2026, 2, 0, 30, 0, 0, 0, 0};
    SYSTEMTIME hour24{2026, 1, 0, 1, 24, 0, 0, 0};
    FILETIME ft{};
    EXPECT_FALSE(SystemTimeToFileTime(&february30, &ft));
    EXPECT_FALSE(SystemTimeToFileTime(&hour24, &ft));
}

TEST(Clock, LocalTimeFollowsTheOverrideAndTheZone) {
    const char* oldTz = std::getenv("TZ");
    std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "UTC-2", 1);  // two hours east of UTC
    tzset();
    ScopedNow now(Utc(2026, 12, 5, 23, 15, 0));  // Saturday 23:15 UTC
    SYSTEMTIME local{};
    GetLocalTime(&local);
    EXPECT_EQ(local.wHour, 1);
    EXPECT_EQ(local.wMinute, 15);
    EXPECT_EQ(local.wDayOfWeek, 0);  // already Sunday locally
    FILETIME utc{};
    GetSystemTimeAsFileTime(&utc);
    EXPECT_EQ(Join(utc), ToFileTime(Utc(2026, 12, 5, 23, 15, 0)));
    if (oldTz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(Clock, CompareFileTimeOrdersHighThenLow) {
    FILETIME a{0xFFFFFFFFu, 1};
    FILETIME b{0, 2};
    EXPECT_EQ(CompareFileTime(&a, &b), -1);
    EXPECT_EQ(CompareFileTime(&b, &a), 1);
    EXPECT_EQ(CompareFileTime(&a, &a), 0);
}

TEST(Clock, FileTimesBeyondATimePointAreClampedNotOverflowed) {
    EXPECT_GE(FromFileTime(0xFFFFFFFFFFFFFFFFULL), TimePoint::max() - std::chrono::microseconds(1));
    EXPECT_LE(FromFileTime(0), TimePoint{} - std::chrono::hours(24 * 365 * 290));
    // Local time of such an instant is still a calendar reading, not a crash.
    SYSTEMTIME st = ToLocalSystemTime(FromFileTime(0xFFFFFFFFFFFFFFFFULL));
    EXPECT_GE(st.wYear, 2262);
}
