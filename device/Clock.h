#pragma once
// The device's clock: local time as the handheld reports it and the current UTC time
// as a FILETIME. Tests replace "now" in-process with SetNowForTesting, or for a whole
// process tree with VELMO_DEVICE_NOW (seconds since 1970, UTC); TZ chooses the zone.

#include <chrono>
#include <optional>

#include "device/WinTypes.h"

extern "C" {
void GetLocalTime(SYSTEMTIME* lpSystemTime);
void GetSystemTime(SYSTEMTIME* lpSystemTime);
void GetSystemTimeAsFileTime(FILETIME* lpFileTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, FILETIME* lpFileTime);
BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime);
BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime);
LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2);
}

namespace velmo::device {

using TimePoint = std::chrono::system_clock::time_point;

// The instant the device takes as now.
TimePoint Now();
// Replaces the device's now in this process; std::nullopt returns to the real clock.
void SetNowForTesting(std::optional<TimePoint> now);

// An instant counted in FILETIME's own unit, which holds every year from 1601 to 9999
// and far beyond; a TimePoint only holds about 1678 to 2262.
using FileTimeTicks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
using FileTimePoint = std::chrono::time_point<std::chrono::system_clock, FileTimeTicks>;

// FILETIME: 100-nanosecond intervals since 1601-01-01 UTC, as one 64-bit number.
std::uint64_t ToFileTime(TimePoint instant);
// The FILETIME of an instant at or after 1601-01-01 UTC, exact over its whole range.
std::uint64_t FileTimeOf(FileTimePoint instant);
TimePoint FromFileTime(std::uint64_t fileTime);
inline std::uint64_t Join(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME Split(std::uint64_t value) {
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

// Local wall-clock fields of an instant in the process's time zone (TZ).
SYSTEMTIME ToLocalSystemTime(TimePoint instant);
// Local wall-clock fields of a stored FILETIME, exact from 1601 to beyond 9999, which a
// TimePoint cannot hold; false for a value of 2^63 or more, which is no moment.
// Everything that shows a stored time to a person goes through here.
bool FileTimeToLocalSystemTime(std::uint64_t fileTime, SYSTEMTIME& local);

}  // namespace velmo::device
