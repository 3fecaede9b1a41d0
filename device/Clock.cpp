#include "device/Clock.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

namespace velmo::device {

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifferenceSeconds = 11644473600LL;

std::mutex gOverrideMutex;
std::optional<TimePoint> gOverride;

SYSTEMTIME FromTm(const std::tm& tm, int milliseconds) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(tm.tm_year + 1900);
    st.wMonth = static_cast<WORD>(tm.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    st.wDay = static_cast<WORD>(tm.tm_mday);
    st.wHour = static_cast<WORD>(tm.tm_hour);
    st.wMinute = static_cast<WORD>(tm.tm_min);
    st.wSecond = static_cast<WORD>(tm.tm_sec);
    st.wMilliseconds = static_cast<WORD>(milliseconds);
    return st;
}

int MillisecondsOf(TimePoint instant) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch()).count() % 1000;
    return static_cast<int>(ms < 0 ? ms + 1000 : ms);
}

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kFirstInvalidFileTime = 0x8000000000000000ULL;

// Seconds since 1970 of a FILETIME below kFirstInvalidFileTime, rounded down.
std::time_t UnixSecondsOf(std::uint64_t fileTime) {
    return static_cast<std::time_t>(static_cast<std::int64_t>(fileTime) / kTicksPerSecond - kEpochDifferenceSeconds);
}

std::time_t SecondsOf(TimePoint instant) {
    return static_cast<std::time_t>(std::chrono::floor<std::chrono::seconds>(instant.time_since_epoch()).count());
}
}  // namespace

TimePoint Now() {
    {
        std::lock_guard lock(gOverrideMutex);
        if (gOverride) return *gOverride;
    }
    if (const char* fixed = std::getenv("VELMO_DEVICE_NOW"); fixed != nullptr && *fixed != '\0') {
        char* end = nullptr;
        long long seconds = std::strtoll(fixed, &end, 10);
        if (end != fixed && *end == '\0') return TimePoint(std::chrono::seconds(seconds));
    }
    return std::chrono::system_clock::now();
}

void SetNowForTesting(std::optional<TimePoint> now) {
    std::lock_guard lock(gOverrideMutex);
    gOverride = now;
}

std::uint64_t ToFileTime(TimePoint instant) {
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(instant.time_since_epoch()).count() / 100;
    return static_cast<std::uint64_t>(ticks + kEpochDifferenceSeconds * 10'000'000LL);
}

std::uint64_t FileTimeOf(FileTimePoint instant) {
    return static_cast<std::uint64_t>(instant.time_since_epoch().count() + kEpochDifferenceSeconds * 10'000'000LL);
}

TimePoint FromFileTime(std::uint64_t fileTime) {
    // A FILETIME read from a file may lie beyond what a time point holds (about 1678 to
    // 2262); such instants are clamped rather than overflowing.
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    constexpr auto kEpochTicks = static_cast<std::uint64_t>(kEpochDifferenceSeconds) * 10'000'000ULL;
    constexpr auto kMaxTicks = std::chrono::duration_cast<Ticks>(TimePoint::duration::max()).count();
    constexpr auto kMinTicks = std::chrono::duration_cast<Ticks>(TimePoint::duration::min()).count();
    std::int64_t ticks = 0;
    if (fileTime >= kEpochTicks) {
        std::uint64_t after = fileTime - kEpochTicks;
        ticks = after > static_cast<std::uint64_t>(kMaxTicks) ? kMaxTicks : static_cast<std::int64_t>(after);
    } else {
        std::uint64_t before = kEpochTicks - fileTime;
        ticks = before > static_cast<std::uint64_t>(-kMinTicks) ? kMinTicks : -static_cast<std::int64_t>(before);
    }
    return TimePoint(std::chrono::duration_cast<TimePoint::duration>(Ticks(ticks)));
}

SYSTEMTIME ToLocalSystemTime(TimePoint instant) {
    std::time_t seconds = SecondsOf(instant);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    return FromTm(tm, MillisecondsOf(instant));
}

bool FileTimeToLocalSystemTime(std::uint64_t fileTime, SYSTEMTIME& local) {
    if (fileTime >= kFirstInvalidFileTime) return false;
    std::time_t seconds = UnixSecondsOf(fileTime);
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr) return false;
    local = FromTm(tm, static_cast<int>(fileTime / 10'000 % 1000));
    return true;
}

}  // namespace velmo::device

using namespace velmo::device;

extern "C" {

void GetLocalTime(SYSTEMTIME* lpSystemTime) {
    if (lpSystemTime != nullptr) *lpSystemTime = ToLocalSystemTime(Now());
}

void GetSystemTime(SYSTEMTIME* lpSystemTime) {
    if (lpSystemTime == nullptr) return;
    FILETIME ft = Split(ToFileTime(Now()));
    FileTimeToSystemTime(&ft, lpSystemTime);
}

void GetSystemTimeAsFileTime(FILETIME* lpFileTime) {
    if (lpFileTime != nullptr) *lpFileTime = Split(ToFileTime(Now()));
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* lpFileTime) {
    if (st == nullptr || lpFileTime == nullptr) return FALSE;
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 || st->wDay > 31 ||
        st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
        return FALSE;
    }
    using namespace std::chrono;
    year_month_day date{year{st->wYear}, month{st->wMonth}, day{st->wDay}};
    if (!date.ok()) return FALSE;
    auto instant = sys_days{date} + hours{st->wHour} + minutes{st->wMinute} + seconds{st->wSecond} +
                   milliseconds{st->wMilliseconds};
    *lpFileTime = Split(ToFileTime(time_point_cast<TimePoint::duration>(instant)));
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* st) {
    if (lpFileTime == nullptr || st == nullptr) return FALSE;
    std::uint64_t value = Join(*lpFileTime);
    if (value >= kFirstInvalidFileTime) return FALSE;
    using namespace std::chrono;
    auto ticks = static_cast<std::int64_t>(value);
    auto daysSince1601 = ticks / (864'000'000'000LL);
    auto rest = ticks % (864'000'000'000LL);
    year_month_day date{sys_days{days{daysSince1601 - 134774}}};  // 134774 days from 1601 to 1970
    st->wYear = static_cast<WORD>(static_cast<int>(date.year()));
    st->wMonth = static_cast<WORD>(static_cast<unsigned>(date.month()));
    st->wDay = static_cast<WORD>(static_cast<unsigned>(date.day()));
    st->wDayOfWeek = static_cast<WORD>(weekday{sys_days{date}}.c_encoding());
    st->wHour = static_cast<WORD>(rest / 36'000'000'000LL);
    st->wMinute = static_cast<WORD>(rest / 600'000'000LL % 60);
    st->wSecond = static_cast<WORD>(rest / 10'000'000LL % 60);
    st->wMilliseconds = static_cast<WORD>(rest / 10'000LL % 1000);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime) {
    if (lpFileTime == nullptr || lpLocalFileTime == nullptr) return FALSE;
    std::uint64_t value = Join(*lpFileTime);
    if (value >= kFirstInvalidFileTime) return FALSE;
    std::time_t seconds = UnixSecondsOf(value);
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr) return FALSE;
    std::int64_t shifted = static_cast<std::int64_t>(value) + tm.tm_gmtoff * kTicksPerSecond;
    if (shifted < 0 || static_cast<std::uint64_t>(shifted) >= kFirstInvalidFileTime) return FALSE;
    *lpLocalFileTime = Split(static_cast<std::uint64_t>(shifted));
    return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
    std::uint64_t x = Join(*a);
    std::uint64_t y = Join(*b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

}  // extern "C"
