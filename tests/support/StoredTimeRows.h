#pragma once
// Stored delivery times across the whole range a message can carry, with the local time a
// person must read for each in a zone one hour east of UTC. The command line and VelmoLight
// show the same rows.

#include <chrono>
#include <cstdint>
#include <string>

namespace velmo::test {

// The zone the rows' local times are read in.
inline constexpr const char* kOneHourEast = "UTC-1";

struct StoredTimeRow {
    const char* name;
    std::uint64_t fileTime;
    std::string local;  // YYYY-MM-DD HH:MM:SS
};

inline std::uint64_t UtcFileTime(int y, unsigned mo, unsigned d, int h, int mi, int s) {
    using namespace std::chrono;
    sys_seconds at = sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
    return static_cast<std::uint64_t>(at.time_since_epoch().count() + 11'644'473'600LL) * 10'000'000ULL;
}

inline const StoredTimeRow kStoredTimeRows[] = {
    {"TheFirstMomentAFileTimeHolds", 0, "1601-01-01 01:00:00"},
    {"BeforeWhatANanosecondClockHolds", UtcFileTime(1677, 9, 20, 12, 0, 0), "1677-09-20 13:00:00"},
    {"TheSecondBefore1970", UtcFileTime(1969, 12, 31, 23, 59, 59), "1970-01-01 00:59:59"},
    {"AnOrdinaryDay", UtcFileTime(2026, 3, 1, 12, 0, 0) + 9'999'999, "2026-03-01 13:00:00"},
    {"PastWhatANanosecondClockHolds", UtcFileTime(2300, 1, 2, 8, 15, 0), "2300-01-02 09:15:00"},
    {"TheLastHourOf9999", UtcFileTime(9999, 12, 31, 22, 59, 59), "9999-12-31 23:59:59"},
};

}  // namespace velmo::test
