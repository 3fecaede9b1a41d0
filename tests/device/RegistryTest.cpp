#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "device/Registry.h"
#include "device/Text.h"
#include "support/TempDevice.h"

extern char** environ;

namespace {

using velmo::test::TempDevice;

constexpr const char16_t* kSettings = u"Software\\Apps\\VelmoLight";

HKEY Create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition), ERROR_SUCCESS);
    return key;
}

LONG SetDword(HKEY key, const char16_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG SetText(HKEY key, const char16_t* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * 2));
}

class Registry : public ::testing::Test {
protected:
    TempDevice device;
};

TEST_F(Registry, CreateReportsNewThenExistingAndOpenFindsItCaseInsensitively) {
    DWORD disposition = 0;
    HKEY key = Create(HKEY_LOCAL_MACHINE, kSettings, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    key = Create(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\apps\\velmolight", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);

    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\software\\APPS\\VelmoLight", 0, 0, &opened), ERROR_SUCCESS);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    // The same path below another root is another key.
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, kSettings, 0, 0, &opened), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, OpenFailuresClearTheOutHandle) {
    HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Missing", 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\\\Double", 0, 0, &key), ERROR_BADKEY);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, 0, nullptr), ERROR_INVALID_PARAMETER);
    HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(RegOpenKeyExW(bogus, u"x", 0, 0, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(Registry, ValuesKeepTheirTypeAndBytes) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, kSettings);
    const BYTE time[12] = {21, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(SetDword(key, u"ActiveState", 0xFFFF8000u), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, u"AppPath", u"/dev/Program Files/VelmoLight/"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"StartTime", 0, REG_BINARY, time, sizeof time), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    ASSERT_EQ(RegQueryValueExW(key, u"activestate", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(number, 0xFFFF8000u);

    char16_t text[64] = {};
    size = sizeof text;
    ASSERT_EQ(RegQueryValueExW(key, u"AppPath", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, (30u + 1) * 2);
    EXPECT_EQ(std::u16string(text), u"/dev/Program Files/VelmoLight/");

    BYTE bytes[16] = {};
    size = sizeof bytes;
    ASSERT_EQ(RegQueryValueExW(key, u"StartTime", nullptr, &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(std::memcmp(bytes, time, 12), 0);

    // Writing again replaces type and data.
    ASSERT_EQ(SetText(key, u"ACTIVESTATE", u"2"), ERROR_SUCCESS);
    size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"ActiveState", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 4u);
    RegCloseKey(key);
}

TEST_F(Registry, QueryValueBufferRules) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, kSettings);
    ASSERT_EQ(SetText(key, u"AppPath", u"abcdef"), ERROR_SUCCESS);

    // No buffer: only the size is asked for.
    DWORD type = 99;
    DWORD size = 3;
    EXPECT_EQ(RegQueryValueExW(key, u"AppPath", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(type, REG_SZ);

    // A short buffer: ERROR_MORE_DATA, the size needed, and the buffer untouched.
    BYTE small[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, u"AppPath", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(small[0], 0xAA);

    // A buffer without a size is refused.
    EXPECT_EQ(RegQueryValueExW(key, u"AppPath", nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);

    // A missing value leaves every out-parameter as it was.
    type = 77;
    size = 5;
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, small, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, 77u);
    EXPECT_EQ(size, 5u);

    // The default (unnamed) value: null and empty names are the same value.
    ASSERT_EQ(SetText(key, nullptr, u"VelmoHandler.dll"), ERROR_SUCCESS);
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 34u);
    RegCloseKey(key);
}

TEST_F(Registry, QueryInfoKeyReportsCountsAndTheLongestData) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, kSettings);
    DWORD subKeys = 9, values = 9, longestName = 9, longestData = 9, longestSubKey = 9;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values, &longestName,
                               &longestData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(longestData, 0u);

    SetDword(key, u"WeekDays", 31);
    SetText(key, u"AppPath", u"/a/b/");  // 12 bytes
    const BYTE time[12] = {};
    RegSetValueExW(key, u"EndTime", 0, REG_BINARY, time, sizeof time);
    SetText(key, u"Longer", u"0123456789");  // 22 bytes
    RegCloseKey(Create(key, u"Child"));
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values, &longestName,
                               &longestData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 1u);
    EXPECT_EQ(longestSubKey, 5u);
    EXPECT_EQ(values, 4u);
    EXPECT_EQ(longestName, 8u);  // "WeekDays"
    EXPECT_EQ(longestData, 22u);

    // Only the parts asked for are written; a class buffer gets an empty class.
    char16_t cls[4] = {u'x', u'x', 0, 0};
    DWORD clsLength = 4;
    ASSERT_EQ(RegQueryInfoKeyW(key, cls, &clsLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestData,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(cls[0], 0);
    EXPECT_EQ(clsLength, 0u);
    EXPECT_EQ(RegQueryInfoKeyW(key, cls, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Registry, DeleteKeyRemovesTheWholeSubtreeOnly) {
    RegCloseKey(Create(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\InprocServer32"));
    RegCloseKey(Create(HKEY_CLASSES_ROOT, u"CLSID\\{AB}"));
    HKEY server = Create(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\InprocServer32");
    SetText(server, nullptr, u"VelmoHandler.dll");

    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"\\clsid\\{a}"), ERROR_SUCCESS);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\InprocServer32", 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{AB}", 0, 0, &key), ERROR_SUCCESS);  // a sibling stays
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{A}"), ERROR_FILE_NOT_FOUND);

    // A handle to a deleted key answers ERROR_KEY_DELETED rather than writing into nothing.
    EXPECT_EQ(SetText(server, nullptr, u"again"), ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(server, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(server);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);
}

TEST_F(Registry, DeleteValue) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"\\Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules");
    SetDword(key, u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}", 1);
    EXPECT_EQ(RegDeleteValueW(key, u"{7e3a91c2-5b04-4d6f-a8e1-29c6b0f4d357}"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"{7E3A91C2-5B04-4D6F-A8E1-29C6B0F4D357}"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationListsKeysAndValuesWithBufferRules) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, kSettings);
    RegCloseKey(Create(key, u"Beta"));
    RegCloseKey(Create(key, u"alpha"));
    SetDword(key, u"WeekDays", 31);
    SetText(key, u"AppPath", u"/x/");

    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        char16_t name[16];
        DWORD length = 16;
        LONG rc = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(rc, ERROR_SUCCESS);
        names.emplace_back(name, length);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"alpha", u"Beta"}));

    char16_t shortName[3];
    DWORD length = 3;
    EXPECT_EQ(RegEnumValueW(key, 0, shortName, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(length, 8u);  // "AppPath" and its terminator
    char16_t name[16];
    length = 16;
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegEnumValueW(key, 1, name, &length, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"WeekDays");
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    length = 16;
    EXPECT_EQ(RegEnumValueW(key, 2, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

// The device's own one-query read of a key gives what the walk above gives, and tells a
// key without values from a missing one.
TEST_F(Registry, ReadingAWholeKeyGivesTheEnumeratedValues) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, kSettings);
    RegCloseKey(Create(key, u"Empty"));
    SetDword(key, u"WeekDays", 31);
    SetText(key, u"AppPath", u"/x/");
    RegCloseKey(key);

    std::vector<velmo::device::RegistryValue> values;
    ASSERT_EQ(velmo::device::ReadRegistryValues(HKEY_LOCAL_MACHINE, u"software\\apps\\velmolight", values),
              ERROR_SUCCESS);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, u"AppPath");
    EXPECT_EQ(values[0].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(values[0].data.size(), 8u);
    EXPECT_EQ(values[1].name, u"WeekDays");
    EXPECT_EQ(values[1].data, (std::vector<BYTE>{31, 0, 0, 0}));

    values.push_back({});
    EXPECT_EQ(velmo::device::ReadRegistryValues(HKEY_LOCAL_MACHINE, u"Software\\Apps\\VelmoLight\\Empty", values),
              ERROR_SUCCESS);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(velmo::device::ReadRegistryValues(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Missing", values),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, BadPathsAreRefused) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"a\\\\b", 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_BADKEY);
    EXPECT_EQ(key, nullptr);
    std::u16string longName(256, u'k');
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, longName.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_BADKEY);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"x", 0, nullptr, 0, 0, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    HKEY valid = Create(HKEY_LOCAL_MACHINE, u"x");
    EXPECT_EQ(RegSetValueExW(valid, u"v", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(valid, u"empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    RegCloseKey(valid);
}

TEST_F(Registry, DamagedOrUnopenableDatabaseGivesErrorsNotCrashes) {
    {
        std::ofstream junk(device.Root() / "registry.db", std::ios::binary);
        junk << std::string(8192, 'x');
    }
    HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(1));
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettings, 0, 0, &key), ERROR_BADDB);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettings, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_BADDB);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"x", nullptr, nullptr, nullptr, &size), ERROR_BADDB);

    // A directory where the database should be cannot be opened at all.
    std::filesystem::remove(device.Root() / "registry.db");
    std::filesystem::create_directory(device.Root() / "registry.db");
    EXPECT_NE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettings, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(key, nullptr);

    // Once the file is sound again, the registry works without a restart.
    std::filesystem::remove(device.Root() / "registry.db");
    key = Create(HKEY_LOCAL_MACHINE, kSettings);
    EXPECT_NE(key, nullptr);
    RegCloseKey(key);
}

// Runs this test program again as a child that writes `count` values named PREFIX-i into
// one key, one call each, as another process of the device would.
pid_t SpawnWriter(const std::string& prefix, int count) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> args = {self, "--gtest_filter=RegistryChild.DISABLED_WriteValues",
                                     "--gtest_also_run_disabled_tests"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv("VELMO_WRITER_PREFIX", prefix.c_str(), 1);
    setenv("VELMO_WRITER_COUNT", std::to_string(count).c_str(), 1);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ);
    unsetenv("VELMO_WRITER_PREFIX");
    unsetenv("VELMO_WRITER_COUNT");
    return rc == 0 ? pid : -1;
}

TEST(RegistryChild, DISABLED_WriteValues) {
    const char* prefix = std::getenv("VELMO_WRITER_PREFIX");
    const char* count = std::getenv("VELMO_WRITER_COUNT");
    ASSERT_NE(prefix, nullptr);
    ASSERT_NE(count, nullptr);
    for (int i = 0; i < std::atoi(count); ++i) {
        HKEY key = Create(HKEY_LOCAL_MACHINE, kSettings);
        std::u16string name = velmo::device::ToUtf16(std::string(prefix) + "-" + std::to_string(i));
        ASSERT_EQ(SetDword(key, name.c_str(), static_cast<DWORD>(i)), ERROR_SUCCESS);
        ASSERT_EQ(SetDword(key, u"Shared", static_cast<DWORD>(i)), ERROR_SUCCESS);
        RegCloseKey(key);
    }
}

TEST_F(Registry, TwoProcessesWritingOneKeyLoseNothingAndSeeEachOther) {
    constexpr int kEach = 150;
    pid_t first = SpawnWriter("first", kEach);
    pid_t second = SpawnWriter("second", kEach);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    for (pid_t pid : {first, second}) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettings, 0, 0, &key), ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u * kEach + 1);
    for (const char* prefix : {"first", "second"}) {
        for (int i = 0; i < kEach; ++i) {
            std::u16string name = velmo::device::ToUtf16(std::string(prefix) + "-" + std::to_string(i));
            DWORD value = 0;
            DWORD size = sizeof value;
            ASSERT_EQ(RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS);
            EXPECT_EQ(value, static_cast<DWORD>(i));
        }
    }
    DWORD shared = 0;
    DWORD size = sizeof shared;
    ASSERT_EQ(RegQueryValueExW(key, u"Shared", nullptr, nullptr, reinterpret_cast<BYTE*>(&shared), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(shared, static_cast<DWORD>(kEach - 1));
    RegCloseKey(key);
}

// Every connection opened while it is registered may hold only a few pages, as when the
// disk has no room left.
int LimitPages(sqlite3* db, char**, const sqlite3_api_routines*) {
    sqlite3_exec(db, "PRAGMA max_page_count=8", nullptr, nullptr, nullptr);
    return SQLITE_OK;
}

TEST(RegistryErrors, FullDiskIsToldInWords) {
    auto limit = reinterpret_cast<void (*)()>(&LimitPages);
    sqlite3_auto_extension(limit);
    TempDevice device;
    HKEY key = nullptr;
    LONG created =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Full", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    std::vector<BYTE> big(256 * 1024, 7);
    LONG written = RegSetValueExW(key, u"Big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
    std::string why = velmo::device::RegistryDatabaseError();
    RegCloseKey(key);
    sqlite3_cancel_auto_extension(limit);
    ASSERT_EQ(created, ERROR_SUCCESS);
    EXPECT_EQ(written, ERROR_CANTWRITE);
    EXPECT_EQ(why, "no space left on the device");
    DWORD value = 1;
    ASSERT_EQ(RegSetValueExW(HKEY_LOCAL_MACHINE, u"Small", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
    EXPECT_EQ(velmo::device::RegistryDatabaseError(), "") << "a call that succeeds leaves no words behind";
}

}  // namespace
