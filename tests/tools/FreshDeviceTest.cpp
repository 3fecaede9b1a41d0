#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/DeviceRoot.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), args);
}

struct FreshRow {
    const char* name;
    bool bookGone;  // contacts were given actions, then contacts.db was deleted
    std::vector<std::string> args;
    int exitCode;
    const char* said;  // in the output, or in the errors when the command fails
    bool bookAfter;    // contacts.db is there afterwards
    bool looksOnly;    // the device directory stays empty
};

class FreshDevice : public ::testing::TestWithParam<FreshRow> {};

TEST_P(FreshDevice, HasAnEmptyAddressBookAndNeverDropsTheActionsOfOneThatWent) {
    const FreshRow& row = GetParam();
    velmo::test::TempDevice device;
    const fs::path contactsInfo = velmo::device::ProgramDirectory() / "ContactsInfo.dat";
    std::vector<std::uint8_t> kept;
    if (row.bookGone) {
        ASSERT_EQ(Device({"contacts", "add", "--first", "Ann", "--mobile", "+1 555 0100"}).exitCode, 0);
        ASSERT_EQ(Device({"contacts", "action", "1", "dismiss"}).exitCode, 0);
        for (const char* file : {"contacts.db", "contacts.db-wal", "contacts.db-shm"}) fs::remove(device.Root() / file);
        kept = velmo::test::ReadFileBytes(contactsInfo);
    }
    auto result = Device(row.args);
    EXPECT_EQ(result.exitCode, row.exitCode) << result.errors;
    const std::string& said = row.exitCode == 0 ? result.output : result.errors;
    EXPECT_NE(said.find(row.said), std::string::npos) << result.output << result.errors;
    EXPECT_EQ(fs::exists(device.Root() / "contacts.db"), row.bookAfter);
    if (row.looksOnly) {
        EXPECT_TRUE(fs::is_empty(device.Root()));
    }
    if (row.bookGone) {
        EXPECT_EQ(velmo::test::ReadFileBytes(contactsInfo), kept);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, FreshDevice,
    ::testing::Values(
        FreshRow{"BlockedListsNone", false, {"blocked"}, 0, "0 blocked messages", false, true},
        FreshRow{"RulesListShowsNone", false, {"rules", "list"}, 0, "no text rules", false, true},
        FreshRow{"InstallMakesTheBook", false, {"install"}, 0, "created the address book", true, false},
        FreshRow{"ActionForUnknownSenders",
                 false,
                 {"contacts", "action", "unknown", "dismiss"},
                 0,
                 "ContactsInfo.dat: unknown dismiss",
                 true,
                 false},
        FreshRow{"ActionAsTheReadmeWritesIt",
                 false,
                 {"contacts", "action", "Unknown", "Dismiss"},
                 0,
                 "ContactsInfo.dat: unknown dismiss",
                 true,
                 false},
        FreshRow{"ActionForNoContact",
                 false,
                 {"contacts", "action", "99999", "dismiss"},
                 2,
                 "no contact has the object identifier 99999",
                 false,
                 false},
        FreshRow{"ActionWhenTheBookWent",
                 true,
                 {"contacts", "action", "unknown", "dismiss"},
                 1,
                 "contacts.db is missing, but",
                 false,
                 false},
        FreshRow{"InstallWhenTheBookWent", true, {"install"}, 0, "keeps the actions of 1 contact", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
