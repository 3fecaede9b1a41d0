#pragma once
// The settings that the three deliverables share, each read afresh from the registry
// with its default when it cannot be read, and the paths of the two data files.

#include <cstdint>

#include "common/RegistryKey.h"
#include "common/Types.h"

namespace velmo {

// The key below HKEY_LOCAL_MACHINE and the names of its values.
inline constexpr const char16_t* SettingsKeyPath = u"Software\\Apps\\VelmoLight";
inline constexpr const char16_t* AppPathValue = u"AppPath";
inline constexpr const char16_t* ActiveStateValue = u"ActiveState";
inline constexpr const char16_t* ItemsStateValue = u"ItemsState";
inline constexpr const char16_t* DefActionTypeValue = u"DefActionType";
inline constexpr const char16_t* ContactFormatValue = u"ContactFormat";
inline constexpr const char16_t* StartTimeValue = u"StartTime";
inline constexpr const char16_t* EndTimeValue = u"EndTime";
inline constexpr const char16_t* WeekDaysValue = u"WeekDays";
inline constexpr const char16_t* DeleteTimeTypeValue = u"DeleteTimeType";
inline constexpr const char16_t* BlockedMsgValue = u"BlockedMsg";
inline constexpr const char16_t* SilentMsgValue = u"SilentMsg";
inline constexpr const char16_t* SpamActionValue = u"SpamAction";

// The data files in the "AppPath" directory.
inline constexpr const char16_t* ContactsInfoFileName = u"ContactsInfo.dat";
inline constexpr const char16_t* MessagesFileName = u"Mesages.dat";

inline constexpr std::int16_t DefaultActiveState = Disabled;
inline constexpr DWORD DefaultWeekDays = 31;  // Monday to Friday
inline constexpr std::int16_t DefaultDeleteTimeType = TwoWeeks;
inline constexpr TimeOfDay DefaultStartTime{21, 0, 0};
inline constexpr TimeOfDay DefaultEndTime{8, 0, 0};

class SettingsStore : public RegistryKey {
public:
    SettingsStore();

    // path is a buffer of MAX_PATH units; on failure it is left as it was, except
    // that a stored value too long for it leaves it empty.
    bool GetAppPath(char16_t* path);
    bool SetAppPath(const char16_t* path);

    std::int16_t GetActiveState();
    bool SetActiveState(std::int16_t state);
    std::int16_t GetItemsState();
    bool SetItemsState(std::int16_t mode);
    std::int16_t GetDefActionType();
    bool SetDefActionType(std::int16_t action);
    std::int16_t GetContactFormat();
    bool SetContactFormat(std::int16_t format);
    std::int16_t GetDeleteTimeType();
    bool SetDeleteTimeType(std::int16_t type);
    std::int16_t GetBlockedMsg();
    bool SetBlockedMsg(std::int16_t count);
    std::int16_t GetSilentMsg();
    bool SetSilentMsg(std::int16_t count);

    // The action for a stranger's message that the spam model judges spam: Dismiss or
    // SilentAccept; Accept, which means the filter is off, when "SpamAction" is missing or
    // holds anything but 1 or 2.
    std::int32_t GetSpamAction();
    bool SetSpamAction(std::int32_t action);

    DWORD GetWeekDays();
    bool SetWeekDays(DWORD days);

    // Fill time with the stored value, or with the default when none of exactly
    // 12 bytes can be read; the result is whether the read itself succeeded.
    bool GetStartTime(TimeOfDay& time);
    bool SetStartTime(const TimeOfDay& time);
    bool GetEndTime(TimeOfDay& time);
    bool SetEndTime(const TimeOfDay& time);

    // "AppPath" followed by fileName into path, a buffer of MAX_PATH units. When
    // "AppPath" cannot be read or the whole does not fit, path is left empty and
    // the result is false.
    bool AppFilePath(const char16_t* fileName, char16_t* path);
    bool ContactsInfoPath(char16_t* path);
    bool MessagesPath(char16_t* path);

private:
    std::int16_t GetShort(const char16_t* name, std::int16_t fallback);
    bool SetShort(const char16_t* name, std::int16_t value);
    bool GetTime(const char16_t* name, const TimeOfDay& fallback, TimeOfDay& time);
};

// Age in seconds after which blocked messages of a DeleteTimeType are purged;
// numbers outside the enumeration give the longest age.
std::uint32_t PurgeAgeSeconds(std::int32_t deleteTimeType);

}  // namespace velmo
