#include <sqlite3.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;
using velmo::test::BinPath;
using velmo::test::RunProcess;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return RunProcess(BinPath("velmo-device").string(), args);
}

// Root may write anywhere, so the looking user is "nobody" when the tests run as root.
velmo::test::ProcessResult DeviceAsReader(const std::vector<std::string>& args) {
    if (::geteuid() != 0) return Device(args);
    std::vector<std::string> all = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                    BinPath("velmo-device").string()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProcess("/usr/bin/setpriv", all);
}

void SetWritable(const fs::path& root, bool writable) {
    auto mode = [&](const fs::path& path) {
        bool dir = fs::is_directory(path);
        fs::perms perms = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
        if (dir) perms |= fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
        if (writable) perms |= fs::perms::owner_write;
        fs::permissions(path, perms);
    };
    mode(root);
    for (const auto& entry : fs::recursive_directory_iterator(root)) mode(entry.path());
}

struct Look {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* shown;  // in the output, or for a failure in the error
};

// One device, filled by the command in processes of their own (so that no connection of
// this process keeps the databases' logs open), then made read-only for every row.
class ReadOnlyDevice : public ::testing::TestWithParam<Look> {
protected:
    static void SetUpTestSuite() {
        device_ = std::make_unique<velmo::test::TempDevice>();
        fs::path root = device_->Root();
        fs::path program = root / "Program Files" / "VelmoLight";
        fs::create_directories(program);
        ASSERT_EQ(
            Device({"registry", "set", "HKLM\\Software\\Apps\\VelmoLight", "AppPath", "--sz", program.string() + "/"})
                .exitCode,
            0);
        ASSERT_EQ(Device({"contacts", "add", "--first", "Ann", "--mobile", "+1 555 0100"}).exitCode, 0);
        ASSERT_EQ(Device({"sms", "receive", "--from", "+1 555 0100", "--text", "See you at noon"}).exitCode, 0);
        std::vector<std::uint8_t> blocked(velmo::BlockedMessageFile::kHeaderSize);
        auto record = velmo::MakeBlockedMessageRecord(u"+15550199", u"You have won", u"Prize Desk", FILETIME{});
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
        blocked.insert(blocked.end(), bytes, bytes + sizeof record);
        velmo::test::WriteFileBytes(program / "Mesages.dat", blocked);
        SetWritable(root, false);
        // The looking user must be able to start the program: a build inside a folder that
        // only root may enter leaves nothing to test.
        readerCanRun_ = DeviceAsReader({"--help"}).exitCode == 0;
    }
    static void TearDownTestSuite() {
        SetWritable(device_->Root(), true);
        device_.reset();
    }

    static std::unique_ptr<velmo::test::TempDevice> device_;
    static bool readerCanRun_;
};

std::unique_ptr<velmo::test::TempDevice> ReadOnlyDevice::device_;
bool ReadOnlyDevice::readerCanRun_ = false;

TEST_P(ReadOnlyDevice, LooksWithoutWritingAndSaysInWordsWhyAChangeFails) {
    if (!readerCanRun_) GTEST_SKIP() << "the user nobody cannot start " << BinPath("velmo-device");
    auto before = velmo::test::DirectoryBytes(device_->Root());
    auto result = DeviceAsReader(GetParam().args);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.errors;
    const std::string& text = GetParam().exitCode == 0 ? result.output : result.errors;
    EXPECT_NE(text.find(GetParam().shown), std::string::npos) << result.output << result.errors;
    EXPECT_EQ(velmo::test::DirectoryBytes(device_->Root()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ReadOnlyDevice,
    ::testing::Values(
        Look{"RegistryList", {"registry", "list", "HKLM\\Software\\Apps"}, 0, "AppPath  REG_SZ"},
        Look{"RegistryGet", {"registry", "get", "HKLM\\Software\\Apps\\VelmoLight", "AppPath"}, 0, "REG_SZ"},
        Look{"ContactsList", {"contacts", "list"}, 0, "first=Ann"}, Look{"Inbox", {"inbox"}, 0, "See you at noon"},
        Look{"Blocked", {"blocked"}, 0, "Prize Desk <+15550199>  You have won"},
        Look{"RulesList", {"rules", "list"}, 0, "no text rules"},
        Look{"Export",
             {"export", (fs::temp_directory_path() / ("velmo-look-" + std::to_string(::getpid()) + ".json")).string()},
             1,
             "cannot open the address book"},
        Look{"RegistrySet",
             {"registry", "set", "HKLM\\Software\\Apps\\VelmoLight", "ActiveState", "--dword", "0"},
             1,
             "the registry database cannot be written (1013)"},
        Look{"ContactsAdd", {"contacts", "add", "--first", "Bo"}, 1, "readonly database"}),
    [](const auto& info) { return std::string(info.param.name); });

// A database file that a process stopped after its first settings and before its tables.
struct TablelessRow {
    const char* name;
    const char* file;
    std::vector<std::string> look;
    const char* shown;
    std::vector<std::string> change;
};

class TablelessDatabase : public ::testing::TestWithParam<TablelessRow> {};

TEST_P(TablelessDatabase, ReadsAsEmptyUntilTheNextChangeSetsItUp) {
    const TablelessRow& row = GetParam();
    velmo::test::TempDevice device;
    const fs::path file = device.Root() / row.file;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const auto before = velmo::test::DirectoryBytes(device.Root());
    auto looked = Device(row.look);
    EXPECT_EQ(looked.exitCode, 0) << looked.errors;
    EXPECT_NE(looked.output.find(row.shown), std::string::npos) << looked.output;
    EXPECT_EQ(velmo::test::DirectoryBytes(device.Root()), before);
    auto changed = Device(row.change);
    EXPECT_EQ(changed.exitCode, 0) << changed.errors;
    EXPECT_EQ(Device(row.look).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, TablelessDatabase,
                         ::testing::Values(TablelessRow{"Messages",
                                                        "messages.db",
                                                        {"inbox"},
                                                        "Inbox: 0 messages",
                                                        {"sms", "receive", "--from", "555", "--text", "hi"}},
                                           TablelessRow{"Registry",
                                                        "registry.db",
                                                        {"registry", "list", "HKLM"},
                                                        "HKEY_LOCAL_MACHINE",
                                                        {"registry", "set", "HKLM/Software", "A", "--dword", "1"}},
                                           TablelessRow{"Contacts",
                                                        "contacts.db",
                                                        {"contacts", "list"},
                                                        "no contacts",
                                                        {"contacts", "add", "--first", "Ann"}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
