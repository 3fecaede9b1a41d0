#pragma once
// The numbers that the settings, the contact-state file and the handler share.

#include <cstdint>

namespace velmo {

// FilterAction, as stored in ContactsInfo.dat and "DefActionType".
enum FilterAction : std::int32_t {
    Accept = 0,
    Dismiss = 1,
    SilentAccept = 2,
};

// ProgramState ("ActiveState").
enum ProgramState : std::int16_t {
    Active = 0,
    ActiveBySchedule = 1,
    Disabled = 2,
};

// ItemsMode ("ItemsState").
enum ItemsMode : std::int16_t {
    UserSettings = 0,
    AcceptAll = 1,
    SilentAcceptAll = 2,
    DismissAll = 3,
};

// ContactFormat ("ContactFormat").
enum ContactFormat : std::int16_t {
    LastFirst = 0,
    FirstLast = 1,
    LastOnly = 2,
    LastCommaFirst = 3,
    FirstCommaLast = 4,
};

// DeleteTimeType ("DeleteTimeType").
enum DeleteTimeType : std::int16_t {
    OneDay = 0,
    ThreeDays = 1,
    OneWeek = 2,
    TwoWeeks = 3,
    OneMonth = 4,
};

// TimeOfDay ("StartTime", "EndTime"): stored as these 12 bytes, little-endian.
struct TimeOfDay {
    std::int32_t hour;
    std::int32_t minute;
    std::int32_t second;
};
static_assert(sizeof(TimeOfDay) == 12, "TimeOfDay is stored as exactly 12 bytes");

// Contact keys besides the address book's object identifiers.
constexpr std::int32_t UnknownSenderKey = -1;
constexpr std::int32_t UndefinedSenderKey = -2;

}  // namespace velmo
