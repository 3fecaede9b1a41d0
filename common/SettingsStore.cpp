#include "common/SettingsStore.h"

#include <algorithm>
#include <array>

#include "device/Text.h"

namespace velmo {

SettingsStore::SettingsStore() { SetPath(SettingsKeyPath); }

std::int16_t SettingsStore::GetShort(const char16_t* name, std::int16_t fallback) {
    std::int16_t value = 0;
    return ReadShort(name, value) ? value : fallback;
}

bool SettingsStore::SetShort(const char16_t* name, std::int16_t value) {
    // Sign-extended, so that a negative count reads back from all 32 bits too.
    return WriteDword(name, static_cast<DWORD>(static_cast<std::int32_t>(value)));
}

bool SettingsStore::GetTime(const char16_t* name, const TimeOfDay& fallback, TimeOfDay& time) {
    time = TimeOfDay{};
    DWORD size = sizeof(TimeOfDay);
    const bool ok = ReadBytes(name, &time, size);
    if (!ok || size != sizeof(TimeOfDay)) time = fallback;
    return ok;
}

bool SettingsStore::GetAppPath(char16_t* path) { return ReadString(AppPathValue, path, MAX_PATH); }
bool SettingsStore::SetAppPath(const char16_t* path) { return WriteString(AppPathValue, path); }

std::int16_t SettingsStore::GetActiveState() { return GetShort(ActiveStateValue, DefaultActiveState); }
bool SettingsStore::SetActiveState(std::int16_t state) { return SetShort(ActiveStateValue, state); }
std::int16_t SettingsStore::GetItemsState() { return GetShort(ItemsStateValue, UserSettings); }
bool SettingsStore::SetItemsState(std::int16_t mode) { return SetShort(ItemsStateValue, mode); }
std::int16_t SettingsStore::GetDefActionType() { return GetShort(DefActionTypeValue, Accept); }
bool SettingsStore::SetDefActionType(std::int16_t action) { return SetShort(DefActionTypeValue, action); }
std::int16_t SettingsStore::GetContactFormat() { return GetShort(ContactFormatValue, LastFirst); }
bool SettingsStore::SetContactFormat(std::int16_t format) { return SetShort(ContactFormatValue, format); }
std::int16_t SettingsStore::GetDeleteTimeType() { return GetShort(DeleteTimeTypeValue, DefaultDeleteTimeType); }
bool SettingsStore::SetDeleteTimeType(std::int16_t type) { return SetShort(DeleteTimeTypeValue, type); }
std::int16_t SettingsStore::GetBlockedMsg() { return GetShort(BlockedMsgValue, 0); }
bool SettingsStore::SetBlockedMsg(std::int16_t count) { return SetShort(BlockedMsgValue, count); }
std::int16_t SettingsStore::GetSilentMsg() { return GetShort(SilentMsgValue, 0); }
bool SettingsStore::SetSilentMsg(std::int16_t count) { return SetShort(SilentMsgValue, count); }

std::int32_t SettingsStore::GetSpamAction() {
    DWORD action = 0;
    if (!ReadDword(SpamActionValue, action) ||
        (action != static_cast<DWORD>(Dismiss) && action != static_cast<DWORD>(SilentAccept)))
        return Accept;
    return static_cast<std::int32_t>(action);
}
bool SettingsStore::SetSpamAction(std::int32_t action) {
    return WriteDword(SpamActionValue, static_cast<DWORD>(action));
}

DWORD SettingsStore::GetWeekDays() {
    DWORD days = 0;
    return ReadDword(WeekDaysValue, days) ? days : DefaultWeekDays;
}
bool SettingsStore::SetWeekDays(DWORD days) { return WriteDword(WeekDaysValue, days); }

bool SettingsStore::GetStartTime(TimeOfDay& time) { return GetTime(StartTimeValue, DefaultStartTime, time); }
bool SettingsStore::SetStartTime(const TimeOfDay& time) { return WriteBytes(StartTimeValue, &time, sizeof(time)); }
bool SettingsStore::GetEndTime(TimeOfDay& time) { return GetTime(EndTimeValue, DefaultEndTime, time); }
bool SettingsStore::SetEndTime(const TimeOfDay& time) { return WriteBytes(EndTimeValue, &time, sizeof(time)); }

bool SettingsStore::AppFilePath(const char16_t* fileName, char16_t* path) {
    if (path == nullptr) return false;
    // Read into a buffer of our own, so that a failed read cannot leave the caller's old text behind.
    std::array<char16_t, MAX_PATH> directory{};
    const std::size_t nameLength = device::Length(fileName);
    if (!GetAppPath(directory.data())) {
        path[0] = u'\0';
        return false;
    }
    const std::size_t directoryLength = device::Length(directory.data());
    if (directoryLength + nameLength >= MAX_PATH) {
        path[0] = u'\0';
        return false;
    }
    std::copy_n(directory.data(), directoryLength, path);
    std::copy_n(fileName, nameLength, path + directoryLength);
    path[directoryLength + nameLength] = u'\0';
    return true;
}

bool SettingsStore::ContactsInfoPath(char16_t* path) { return AppFilePath(ContactsInfoFileName, path); }
bool SettingsStore::MessagesPath(char16_t* path) { return AppFilePath(MessagesFileName, path); }

std::uint32_t PurgeAgeSeconds(std::int32_t deleteTimeType) {
    constexpr std::uint32_t kDay = 86400;
    // Indexed by DeleteTimeType: 1 day, 3 days, 1 week, 2 weeks, 1 month.
    constexpr std::array<std::uint32_t, 5> kDays{1, 3, 7, 14, 31};
    if (deleteTimeType < 0 || deleteTimeType >= static_cast<std::int32_t>(kDays.size())) return 31 * kDay;
    return kDays[static_cast<std::size_t>(deleteTimeType)] * kDay;
}

}  // namespace velmo
