#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "device/DeviceRoot.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), args);
}

struct Entry {
    std::int32_t action;
    std::int32_t key;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& entry) {
    return out << "{" << entry.action << ", " << entry.key << "}";
}

// The entries of ContactsInfo.dat as they lie on disk after the header.
std::vector<Entry> EntriesOnDisk() {
    auto bytes = velmo::test::ReadFileBytes(velmo::device::ProgramDirectory() / "ContactsInfo.dat");
    EXPECT_GE(bytes.size(), 128u);
    EXPECT_EQ(0, std::memcmp(bytes.data(), u"WM_CI_FILTER", 26));
    std::uint32_t count = 0;
    std::memcpy(&count, bytes.data() + 44, 4);
    EXPECT_EQ(bytes.size(), 128u + 8u * count);
    std::vector<Entry> entries(count);
    if (bytes.size() == 128u + 8u * count) std::memcpy(entries.data(), bytes.data() + 128, 8u * count);
    return entries;
}

class ContactActionCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Device({"contacts", "add", "--first", "Ada", "--mobile", "+1 555 0100"}).exitCode, 0);
        ASSERT_EQ(Device({"contacts", "add", "--first", "Bede", "--mobile", "+1 555 0102"}).exitCode, 0);
    }

    velmo::test::TempDevice device;
};

TEST_F(ContactActionCommand, RebuildsTheFileKeepingEarlierChoicesAsVelmoLightDoes) {
    auto first = Device({"contacts", "action", "1", "dismiss"});
    ASSERT_EQ(first.exitCode, 0) << first.errors;
    EXPECT_EQ(first.output, "ContactsInfo.dat: 1 dismiss\n");
    ASSERT_EQ(Device({"contacts", "action", "2", "silent"}).exitCode, 0);
    EXPECT_EQ(EntriesOnDisk(), (std::vector<Entry>{{0, -1}, {0, -2}, {1, 1}, {2, 2}}));
    EXPECT_EQ(
        Device({"contacts", "list"}).output,
        "1  first=Ada  mobile=+1 555 0100  action=Dismiss\n2  first=Bede  mobile=+1 555 0102  action=Silent accept\n");

    // A contact new to the address book enters with "DefActionType"; the fixed rows start as Accept.
    ASSERT_EQ(Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "DefActionType", "--dword", "2"}).exitCode,
              0);
    ASSERT_EQ(Device({"contacts", "add", "--first", "Cal", "--mobile", "+1 555 0104"}).exitCode, 0);
    ASSERT_EQ(Device({"contacts", "action", "undefined", "dismiss"}).exitCode, 0);
    ASSERT_EQ(Device({"contacts", "action", "unknown", "accept"}).exitCode, 0);
    EXPECT_EQ(EntriesOnDisk(), (std::vector<Entry>{{0, -1}, {1, -2}, {1, 1}, {2, 2}, {2, 3}}));

    // A contact that left the address book leaves the file at the next rebuild.
    ASSERT_EQ(Device({"contacts", "remove", "1"}).exitCode, 0);
    ASSERT_EQ(Device({"contacts", "action", "2", "accept"}).exitCode, 0);
    EXPECT_EQ(EntriesOnDisk(), (std::vector<Entry>{{0, -1}, {1, -2}, {0, 2}, {2, 3}}));
}

struct BadAction {
    const char* name;
    std::vector<std::string> args;
    const char* error;
};

class ContactActionCommandRefuses : public ContactActionCommand, public ::testing::WithParamInterface<BadAction> {};

TEST_P(ContactActionCommandRefuses, Arguments) {
    auto result = Device(GetParam().args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find(GetParam().error), std::string::npos) << result.errors;
    // Arguments are checked before anything is written.
    EXPECT_FALSE(std::filesystem::exists(velmo::device::ProgramDirectory() / "ContactsInfo.dat"));
    EXPECT_NE(Device({"registry", "get", "HKLM/Software/Apps/VelmoLight", "AppPath"}).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ContactActionCommandRefuses,
    ::testing::Values(BadAction{"NotAKey", {"contacts", "action", "ada", "dismiss"}, "neither a contact"},
                      BadAction{"ZeroKey", {"contacts", "action", "0", "dismiss"}, "neither a contact"},
                      BadAction{"KeyWithText", {"contacts", "action", "1x", "dismiss"}, "neither a contact"},
                      BadAction{"NoSuchAction", {"contacts", "action", "1", "block"}, "no action"},
                      BadAction{"NoSuchContact", {"contacts", "action", "9", "dismiss"}, "no contact has"},
                      BadAction{"ActionMissing", {"contacts", "action", "1"}, "ACTION"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
