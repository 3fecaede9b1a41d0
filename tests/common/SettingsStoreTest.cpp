#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "common/SettingsStore.h"
#include "device/Registry.h"
#include "device/Text.h"
#include "support/Process.h"
#include "support/TempDevice.h"

using namespace velmo;

namespace {

struct RawValue {
    LONG result = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

// The settings key as the registry itself holds it, bypassing the store.
class RawKey {
public:
    RawKey() {
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    ~RawKey() { RegCloseKey(key_); }

    void Set(const char16_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    void SetDword(const char16_t* name, DWORD value) { Set(name, REG_DWORD, &value, sizeof(value)); }
    void SetString(const char16_t* name, const std::u16string& text) {
        Set(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    }
    RawValue Get(const char16_t* name) {
        RawValue value;
        std::array<BYTE, 1024> data{};
        DWORD size = data.size();
        value.result = RegQueryValueExW(key_, name, nullptr, &value.type, data.data(), &size);
        if (value.result == ERROR_SUCCESS) value.bytes.assign(data.begin(), data.begin() + size);
        return value;
    }

private:
    HKEY key_ = nullptr;
};

std::vector<BYTE> DwordBytes(DWORD value) {
    std::vector<BYTE> bytes(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
    return bytes;
}

std::u16string Text(const char16_t* buffer) { return std::u16string(buffer); }

bool SettingsKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

DWORD ValueCount() {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, SettingsKeyPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    DWORD values = 0;
    EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    return values;
}

void ExpectTime(const TimeOfDay& time, int hour, int minute, int second) {
    EXPECT_EQ(time.hour, hour);
    EXPECT_EQ(time.minute, minute);
    EXPECT_EQ(time.second, second);
}

}  // namespace

TEST(SettingsStore, FreshDeviceReadsEveryDefaultAndLeavesTheEmptyKey) {
    test::TempDevice device;
    ASSERT_FALSE(SettingsKeyExists());

    SettingsStore store;
    EXPECT_EQ(store.GetActiveState(), Disabled);
    EXPECT_EQ(store.GetItemsState(), UserSettings);
    EXPECT_EQ(store.GetDefActionType(), Accept);
    EXPECT_EQ(store.GetContactFormat(), LastFirst);
    EXPECT_EQ(store.GetWeekDays(), 31u);
    EXPECT_EQ(store.GetDeleteTimeType(), TwoWeeks);
    EXPECT_EQ(store.GetBlockedMsg(), 0);
    EXPECT_EQ(store.GetSilentMsg(), 0);
    TimeOfDay start{1, 2, 3};
    TimeOfDay end{4, 5, 6};
    EXPECT_FALSE(store.GetStartTime(start));
    EXPECT_FALSE(store.GetEndTime(end));
    ExpectTime(start, 21, 0, 0);
    ExpectTime(end, 8, 0, 0);
    std::array<char16_t, MAX_PATH> path{u'k', u'e', u'p', u't', 0};
    EXPECT_FALSE(store.GetAppPath(path.data()));
    EXPECT_EQ(Text(path.data()), u"kept");

    EXPECT_TRUE(SettingsKeyExists());
    EXPECT_EQ(ValueCount(), 0u);
}

struct ShortRow {
    const char* name;
    const char16_t* value;
    DWORD type;
    std::vector<BYTE> stored;
    std::int16_t (SettingsStore::*getter)();
    std::int16_t expected;
};

void PrintTo(const ShortRow& row, std::ostream* out) { *out << row.name; }

class StoredShortReads : public testing::TestWithParam<ShortRow> {};

TEST_P(StoredShortReads, YieldTheLow16BitsOfADwordOrTheDefault) {
    const ShortRow& row = GetParam();
    test::TempDevice device;
    RawKey raw;
    // A long neighbour makes the store's value buffer larger than any row's data.
    raw.SetString(u"Neighbour", u"a text longer than every stored row");
    raw.Set(row.value, row.type, row.stored.data(), static_cast<DWORD>(row.stored.size()));
    SettingsStore store;
    EXPECT_EQ((store.*row.getter)(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsStore, StoredShortReads,
    testing::Values(
        ShortRow{"ActiveStateAsText", ActiveStateValue, REG_SZ, {u8'0', 0, 0, 0}, &SettingsStore::GetActiveState, 2},
        ShortRow{"ActiveState65536", ActiveStateValue, REG_DWORD, DwordBytes(65536), &SettingsStore::GetActiveState, 0},
        ShortRow{"ActiveState65535", ActiveStateValue, REG_DWORD, DwordBytes(65535), &SettingsStore::GetActiveState,
                 -1},
        ShortRow{"ActiveStateAsBinary", ActiveStateValue, REG_BINARY, DwordBytes(0), &SettingsStore::GetActiveState, 2},
        ShortRow{"ActiveStateShortDword", ActiveStateValue, REG_DWORD, {1, 0}, &SettingsStore::GetActiveState, 2},
        ShortRow{"ItemsStateOutOfRangePassesOn", ItemsStateValue, REG_DWORD, DwordBytes(7),
                 &SettingsStore::GetItemsState, 7},
        ShortRow{"DeleteTimeTypeAsText", DeleteTimeTypeValue, REG_SZ, {u8'1', 0}, &SettingsStore::GetDeleteTimeType, 3},
        ShortRow{"BlockedMsgHighBitsIgnored", BlockedMsgValue, REG_DWORD, DwordBytes(0x12340005u),
                 &SettingsStore::GetBlockedMsg, 5}),
    [](const testing::TestParamInfo<ShortRow>& info) { return std::string(info.param.name); });

TEST(SettingsStore, WeekDaysKeepsAll32BitsAndDefaultsOnWrongType) {
    test::TempDevice device;
    RawKey raw;
    SettingsStore store;
    raw.SetDword(WeekDaysValue, 0x00010040u);
    EXPECT_EQ(store.GetWeekDays(), 0x00010040u);
    raw.SetString(WeekDaysValue, u"64");
    EXPECT_EQ(store.GetWeekDays(), 31u);
}

struct TimeRow {
    const char* name;
    const char16_t* value;
    std::vector<std::int32_t> stored;  // as 32-bit fields, so 2 of them are 8 bytes
    bool (SettingsStore::*getter)(TimeOfDay&);
    bool readSucceeds;
    TimeOfDay expected;
};

void PrintTo(const TimeRow& row, std::ostream* out) { *out << row.name; }

class StoredTimeReads : public testing::TestWithParam<TimeRow> {};

TEST_P(StoredTimeReads, AcceptOnlyExactly12Bytes) {
    const TimeRow& row = GetParam();
    test::TempDevice device;
    RawKey raw;
    raw.Set(row.value, REG_BINARY, row.stored.data(), static_cast<DWORD>(row.stored.size() * sizeof(std::int32_t)));
    SettingsStore store;
    TimeOfDay time{99, 99, 99};
    EXPECT_EQ((store.*row.getter)(time), row.readSucceeds);
    ExpectTime(time, row.expected.hour, row.expected.minute, row.expected.second);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsStore, StoredTimeReads,
    testing::Values(
        TimeRow{"Start12Bytes", StartTimeValue, {22, 15, 30}, &SettingsStore::GetStartTime, true, {22, 15, 30}},
        TimeRow{"Start8Bytes", StartTimeValue, {22, 15}, &SettingsStore::GetStartTime, true, {21, 0, 0}},
        TimeRow{"Start16Bytes", StartTimeValue, {22, 15, 30, 0}, &SettingsStore::GetStartTime, false, {21, 0, 0}},
        TimeRow{"StartEmpty", StartTimeValue, {}, &SettingsStore::GetStartTime, true, {21, 0, 0}},
        TimeRow{"End12Bytes", EndTimeValue, {6, 45, 0}, &SettingsStore::GetEndTime, true, {6, 45, 0}},
        TimeRow{"End8Bytes", EndTimeValue, {6, 45}, &SettingsStore::GetEndTime, true, {8, 0, 0}}),
    [](const testing::TestParamInfo<TimeRow>& info) { return std::string(info.param.name); });

TEST(SettingsStore, NegativeCounterIsStoredSignExtended) {
    test::TempDevice device;
    SettingsStore store;
    ASSERT_TRUE(store.SetBlockedMsg(32767));
    ASSERT_TRUE(store.SetBlockedMsg(static_cast<std::int16_t>(store.GetBlockedMsg() + 1)));
    EXPECT_EQ(store.GetBlockedMsg(), -32768);

    RawKey raw;
    RawValue stored = raw.Get(BlockedMsgValue);
    ASSERT_EQ(stored.result, ERROR_SUCCESS);
    EXPECT_EQ(stored.type, REG_DWORD);
    EXPECT_EQ(stored.bytes, DwordBytes(0xFFFF8000u));
}

// Every setter lands under its own exact name, in the type and size that the
// other deliverables read, and the getter reads it back.
TEST(SettingsStore, SettersWriteTheNamedValuesThatGettersRead) {
    test::TempDevice device;
    SettingsStore store;
    ASSERT_TRUE(store.SetActiveState(Active));
    ASSERT_TRUE(store.SetItemsState(DismissAll));
    ASSERT_TRUE(store.SetDefActionType(SilentAccept));
    ASSERT_TRUE(store.SetContactFormat(FirstCommaLast));
    ASSERT_TRUE(store.SetDeleteTimeType(OneWeek));
    ASSERT_TRUE(store.SetBlockedMsg(11));
    ASSERT_TRUE(store.SetSilentMsg(-12));
    ASSERT_TRUE(store.SetWeekDays(0x41));
    ASSERT_TRUE(store.SetStartTime(TimeOfDay{7, 30, 15}));
    ASSERT_TRUE(store.SetEndTime(TimeOfDay{19, 5, 0}));
    ASSERT_TRUE(store.SetAppPath(u"/dev/Program Files/VelmoLight/"));

    EXPECT_EQ(store.GetActiveState(), Active);
    EXPECT_EQ(store.GetItemsState(), DismissAll);
    EXPECT_EQ(store.GetDefActionType(), SilentAccept);
    EXPECT_EQ(store.GetContactFormat(), FirstCommaLast);
    EXPECT_EQ(store.GetDeleteTimeType(), OneWeek);
    EXPECT_EQ(store.GetBlockedMsg(), 11);
    EXPECT_EQ(store.GetSilentMsg(), -12);
    EXPECT_EQ(store.GetWeekDays(), 0x41u);
    TimeOfDay time{};
    EXPECT_TRUE(store.GetStartTime(time));
    ExpectTime(time, 7, 30, 15);
    EXPECT_TRUE(store.GetEndTime(time));
    ExpectTime(time, 19, 5, 0);

    RawKey raw;
    const std::vector<std::pair<const char16_t*, DWORD>> numbers{
        {u"ActiveState", 0},    {u"ItemsState", 3},  {u"DefActionType", 2},       {u"ContactFormat", 4},
        {u"DeleteTimeType", 2}, {u"BlockedMsg", 11}, {u"SilentMsg", 0xFFFFFFF4u}, {u"WeekDays", 0x41}};
    for (const auto& [name, expected] : numbers) {
        RawValue value = raw.Get(name);
        EXPECT_EQ(value.result, ERROR_SUCCESS) << device::ToUtf8(name);
        EXPECT_EQ(value.type, REG_DWORD) << device::ToUtf8(name);
        EXPECT_EQ(value.bytes, DwordBytes(expected)) << device::ToUtf8(name);
    }
    const std::int32_t start[3] = {7, 30, 15};
    RawValue startTime = raw.Get(u"StartTime");
    EXPECT_EQ(startTime.type, REG_BINARY);
    ASSERT_EQ(startTime.bytes.size(), 12u);
    EXPECT_EQ(std::memcmp(startTime.bytes.data(), start, 12), 0);
    EXPECT_EQ(raw.Get(u"EndTime").bytes.size(), 12u);
    RawValue appPath = raw.Get(u"AppPath");
    EXPECT_EQ(appPath.type, REG_SZ);
    const std::u16string expectedPath = u"/dev/Program Files/VelmoLight/";
    ASSERT_EQ(appPath.bytes.size(), (expectedPath.size() + 1) * 2);
    EXPECT_EQ(std::memcmp(appPath.bytes.data(), expectedPath.c_str(), appPath.bytes.size()), 0);
}

struct PurgeRow {
    const char* name;
    std::int32_t deleteTimeType;
    std::uint32_t seconds;
};

void PrintTo(const PurgeRow& row, std::ostream* out) { *out << row.name; }

class PurgeAge : public testing::TestWithParam<PurgeRow> {};

TEST_P(PurgeAge, MatchesTheOptionShown) { EXPECT_EQ(PurgeAgeSeconds(GetParam().deleteTimeType), GetParam().seconds); }

INSTANTIATE_TEST_SUITE_P(SettingsStore, PurgeAge,
                         testing::Values(PurgeRow{"OneDay", 0, 86400}, PurgeRow{"ThreeDays", 1, 259200},
                                         PurgeRow{"OneWeek", 2, 604800}, PurgeRow{"TwoWeeksIs14Days", 3, 1209600},
                                         PurgeRow{"OneMonth", 4, 2678400}, PurgeRow{"Negative", -1, 2678400},
                                         PurgeRow{"PastTheEnd", 5, 2678400}, PurgeRow{"Large", 32767, 2678400}),
                         [](const testing::TestParamInfo<PurgeRow>& info) { return std::string(info.param.name); });

TEST(SettingsStore, PathBuildersAppendTheFileNameToAppPath) {
    test::TempDevice device;
    const std::u16string dir = device::ToUtf16(device.InstallAppPath().string() + "/");
    SettingsStore store;
    std::array<char16_t, MAX_PATH> path{};
    ASSERT_TRUE(store.MessagesPath(path.data()));
    EXPECT_EQ(Text(path.data()), dir + u"Mesages.dat");
    EXPECT_EQ(Text(path.data()).find(u"//"), std::u16string::npos);
    ASSERT_TRUE(store.ContactsInfoPath(path.data()));
    EXPECT_EQ(Text(path.data()), dir + u"ContactsInfo.dat");
}

struct AppPathRow {
    const char* name;
    bool store;  // false: "AppPath" is missing
    DWORD type;
    std::u16string text;
};

void PrintTo(const AppPathRow& row, std::ostream* out) { *out << row.name; }

class UnusableAppPath : public testing::TestWithParam<AppPathRow> {};

TEST_P(UnusableAppPath, FailsThePathBuildersWithAnEmptyResult) {
    const AppPathRow& row = GetParam();
    test::TempDevice device;
    RawKey raw;
    if (row.store) {
        raw.Set(AppPathValue, row.type, row.text.c_str(), static_cast<DWORD>((row.text.size() + 1) * 2));
    }
    SettingsStore store;
    std::array<char16_t, MAX_PATH> path{};
    path.fill(u'X');  // unterminated leftovers of an earlier use
    EXPECT_FALSE(store.MessagesPath(path.data()));
    EXPECT_EQ(path[0], u'\0');
    path.fill(u'X');
    EXPECT_FALSE(store.ContactsInfoPath(path.data()));
    EXPECT_EQ(path[0], u'\0');
}

INSTANTIATE_TEST_SUITE_P(
    SettingsStore, UnusableAppPath,
    testing::Values(AppPathRow{"Missing", false, REG_SZ, u""},
                    AppPathRow{"NotText", true, REG_BINARY, u"/dev/Program Files/VelmoLight/"},
                    AppPathRow{"Exactly260Units", true, REG_SZ, u"/" + std::u16string(258, u'd') + u"/"},
                    AppPathRow{"Over260Units", true, REG_SZ, u"/" + std::u16string(400, u'd') + u"/"},
                    AppPathRow{"FitsButNotWithFileName", true, REG_SZ, u"/" + std::u16string(250, u'd') + u"/"}),
    [](const testing::TestParamInfo<AppPathRow>& info) { return std::string(info.param.name); });

TEST(SettingsStore, AppPathOf259UnitsIsTheLongestThatReads) {
    test::TempDevice device;
    RawKey raw;
    SettingsStore store;
    std::array<char16_t, MAX_PATH> path{};

    const std::u16string longest = u"/" + std::u16string(257, u'd') + u"/";
    raw.SetString(AppPathValue, longest);
    EXPECT_TRUE(store.GetAppPath(path.data()));
    EXPECT_EQ(Text(path.data()), longest);

    raw.SetString(AppPathValue, longest + u"x");
    path.fill(u'X');
    EXPECT_FALSE(store.GetAppPath(path.data()));
    EXPECT_EQ(path[0], u'\0');
}

TEST(SettingsStore, SeesAnotherProcessesWriteAtTheNextRead) {
    test::TempDevice device;
    SettingsStore store;
    ASSERT_EQ(store.GetActiveState(), Disabled);
    const auto set = [](const std::string& number) {
        return test::RunProcess(
                   test::BinPath("velmo-device").string(),
                   {"registry", "set", "HKLM\\Software\\Apps\\VelmoLight", "ActiveState", "--dword", number})
            .exitCode;
    };
    ASSERT_EQ(set("0"), 0);
    EXPECT_EQ(store.GetActiveState(), Active);
    ASSERT_EQ(set("65537"), 0);
    EXPECT_EQ(store.GetActiveState(), ActiveBySchedule);
}

TEST(RegistryKey, ReadStringTerminatesAndZeroFillsUpToTheStoredLength) {
    test::TempDevice device;
    RawKey raw;
    SettingsStore store;
    std::array<char16_t, 16> buffer{};

    // Stored with an inner terminator: copying stops after it, the rest of the stored length is zeroed.
    const char16_t inner[] = {u'a', u'b', 0, u'c', u'd', 0};
    raw.Set(u"Inner", REG_SZ, inner, sizeof(inner));
    buffer.fill(u'X');
    ASSERT_TRUE(store.ReadString(u"Inner", buffer.data(), buffer.size()));
    EXPECT_EQ(Text(buffer.data()), u"ab");
    EXPECT_TRUE(std::all_of(buffer.begin() + 2, buffer.begin() + 6, [](char16_t c) { return c == 0; }));
    EXPECT_EQ(buffer[6], u'X');

    // Stored without a terminator: still read as a terminated text.
    const char16_t bare[] = {u'x', u'y', u'z'};
    raw.Set(u"Bare", REG_SZ, bare, sizeof(bare));
    buffer.fill(u'X');
    ASSERT_TRUE(store.ReadString(u"Bare", buffer.data(), buffer.size()));
    EXPECT_EQ(Text(buffer.data()), u"xyz");

    // Longer than the caller's buffer: a failure, and no cut text is left behind.
    raw.SetString(u"Long", u"0123456789");
    buffer.fill(u'X');
    EXPECT_FALSE(store.ReadString(u"Long", buffer.data(), 10));
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_TRUE(store.ReadString(u"Long", buffer.data(), 11));
    EXPECT_EQ(Text(buffer.data()), u"0123456789");
}

TEST(RegistryKey, ReadBytesReportsTheStoredSizeAndRefusesALargerValue) {
    test::TempDevice device;
    RawKey raw;
    SettingsStore store;
    const BYTE stored[6] = {1, 2, 3, 4, 5, 6};
    raw.Set(u"Blob", REG_BINARY, stored, sizeof(stored));

    std::array<BYTE, 8> data{};
    DWORD size = data.size();
    ASSERT_TRUE(store.ReadBytes(u"Blob", data.data(), size));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::memcmp(data.data(), stored, 6), 0);

    size = 4;
    EXPECT_FALSE(store.ReadBytes(u"Blob", data.data(), size));
}

TEST(RegistryKey, SubKeyIsJoinedWithOneBackslash) {
    test::TempDevice device;
    RegistryKey key;
    key.SetPath(u"Software\\Apps\\VelmoLight");
    ASSERT_TRUE(key.WriteDword(u"Plain", 1, u"Sub"));
    ASSERT_TRUE(key.WriteDword(u"Led", 2, u"\\Sub"));

    HKEY sub = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight\\Sub", 0, KEY_ALL_ACCESS, &sub),
              ERROR_SUCCESS);
    DWORD value = 0;
    DWORD size = sizeof(value);
    EXPECT_EQ(RegQueryValueExW(sub, u"Led", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 2u);
    RegCloseKey(sub);
    DWORD plain = 0;
    EXPECT_TRUE(key.ReadDword(u"Plain", plain, u"\\Sub"));
    EXPECT_EQ(plain, 1u);
}

TEST(RegistryKey, KeyPathOfMaxPathUnitsCannotBeOpened) {
    test::TempDevice device;
    RegistryKey key;
    key.SetPath(u"Software");
    const std::u16string fits(MAX_PATH - 1 - 9, u'k');  // "Software\" + fits is 259 units
    EXPECT_TRUE(key.Open(fits.c_str()));
    key.Close();
    EXPECT_FALSE(key.Open((fits + u"k").c_str()));
}
