#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "device/Clock.h"
#include "device/LockFile.h"
#include "device/MessageStore.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/StoredTimeRows.h"
#include "support/TempDevice.h"

using namespace velmo::device;

namespace {

using velmo::test::BinPath;
using velmo::test::RunProcess;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return RunProcess(BinPath("velmo-device").string(), args);
}

// 2026-03-01 12:00:00 UTC; the commands show it in the zone of TZ=UTC-1, an hour later.
const FILETIME kNoon =
    Split(ToFileTime(std::chrono::sys_days{std::chrono::year{2026} / 3 / 1} + std::chrono::hours{12}));
const FILETIME kOneMinuteLater = Split(Join(kNoon) + 60 * 10'000'000ULL);
const FILETIME kOneMinuteEarlier = Split(Join(kNoon) - 60 * 10'000'000ULL);
const FILETIME kTwoMinutesEarlier = Split(Join(kNoon) - 120 * 10'000'000ULL);
const FILETIME kTwoMinutesLater = Split(Join(kNoon) + 120 * 10'000'000ULL);

// A message that another program has made in the Inbox and not yet written, as a rule
// client's read copy is between its CreateMessage and its SetProps.
void CreateUnwritten(MessageStore& store) {
    EntryId inbox = store.InboxEntryId();
    IUnknown* folder = nullptr;
    ASSERT_EQ(store.Interface()->OpenEntry(static_cast<ULONG>(inbox.size()), reinterpret_cast<LPENTRYID>(inbox.data()),
                                           &IID_IMAPIFolder, 0, nullptr, &folder),
              S_OK);
    IMessage* message = nullptr;
    ASSERT_EQ(static_cast<IMAPIFolder*>(folder)->CreateMessage(nullptr, 0, &message), S_OK);
    message->Release();
    folder->Release();
}

class MessageCommands : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) zone_ = zone;
        setenv("TZ", velmo::test::kOneHourEast, 1);
    }
    void TearDown() override {
        if (zone_.empty()) {
            unsetenv("TZ");
        } else {
            setenv("TZ", zone_.c_str(), 1);
        }
    }

    velmo::test::TempDevice device_;
    std::string zone_;
};

TEST_F(MessageCommands, InboxListsEachMessageWithItsReadMark) {
    {
        MessageStore store;
        store.CreateMessage(u"Inbox",
                            std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+4915112345678"),
                                                  Property::Text(PR_SENDER_NAME_W, u"Anna Berg"),
                                                  Property::Text(PR_SUBJECT_W, u"Grüße\naus Köln"),
                                                  Property::Time(PR_MESSAGE_DELIVERY_TIME, kNoon),
                                                  Property::Number(PR_MESSAGE_FLAGS, 0)});
        store.CreateMessage(u"Inbox", std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"BANK"),
                                                            Property::Text(PR_SUBJECT_W, u"Your code"),
                                                            Property::Time(PR_MESSAGE_DELIVERY_TIME, kOneMinuteLater),
                                                            Property::Number(PR_MESSAGE_FLAGS, MSGFLAG_READ)});
        // Stored last, as a restored message is, but delivered first.
        store.CreateMessage(u"Inbox", std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+15550100"),
                                                            Property::Text(PR_SUBJECT_W, u"Restored"),
                                                            Property::Time(PR_MESSAGE_DELIVERY_TIME, kOneMinuteEarlier),
                                                            Property::Number(PR_MESSAGE_FLAGS, 0)});
    }
    auto inbox = Device({"inbox"});
    EXPECT_EQ(inbox.exitCode, 0) << inbox.errors;
    EXPECT_EQ(inbox.output,
              "Inbox: 3 messages\n"
              "  unread  2026-03-01 12:59:00  +15550100  Restored\n"
              "  unread  2026-03-01 13:00:00  Anna Berg <+4915112345678>  Grüße\\naus Köln\n"
              "  read    2026-03-01 13:01:00  BANK  Your code\n");
    EXPECT_EQ(Device({"inbox", "--folder", "Sent"}).output, "Sent: 0 messages\n");
}

TEST_F(MessageCommands, InboxOfAnUnknownFolderIsAUsageError) {
    auto result = Device({"inbox", "--folder", "Archive"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find("no folder named \"Archive\"; the folders are Inbox, Outbox, Sent"), std::string::npos)
        << result.errors;
}

TEST_F(MessageCommands, BlockedListsTheRecordsNewestFirst) {
    auto dir = device_.InstallAppPath();
    EXPECT_EQ(Device({"blocked"}).output, dir.string() + "/Mesages.dat: 0 blocked messages\n");
    {
        velmo::BlockedMessageFile file;
        file.SetPath(ToUtf16((dir / "Mesages.dat").string()));
        file.Open();
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550100", u"First", u"", kNoon)));
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550199", u"Second", u"Bo", kOneMinuteLater)));
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550177", u"Same moment", u"", kNoon)));
        ASSERT_TRUE(
            file.Append(velmo::MakeBlockedMessageRecord(u"+15550166", u"Delivered first", u"", kOneMinuteEarlier)));
    }
    auto before = velmo::test::ReadFileBytes(dir / "Mesages.dat");
    auto blocked = Device({"blocked"});
    EXPECT_EQ(blocked.exitCode, 0) << blocked.errors;
    EXPECT_EQ(blocked.output, dir.string() +
                                  "/Mesages.dat: 4 blocked messages, newest first\n"
                                  "  1  2026-03-01 13:01:00  Bo <+15550199>  Second\n"
                                  "  2  2026-03-01 13:00:00  +15550177  Same moment\n"
                                  "  3  2026-03-01 13:00:00  +15550100  First\n"
                                  "  4  2026-03-01 12:59:00  +15550166  Delivered first\n");
    EXPECT_EQ(velmo::test::ReadFileBytes(dir / "Mesages.dat"), before) << "listing leaves the file as it was";
}

class StoredTimes : public MessageCommands, public ::testing::WithParamInterface<velmo::test::StoredTimeRow> {};

TEST_P(StoredTimes, InboxAndBlockedShowTheStoredTimeExactly) {
    const velmo::test::StoredTimeRow& row = GetParam();
    const FILETIME at = Split(row.fileTime);
    MessageStore().CreateMessage(
        u"Inbox", std::vector<Property>{
                      Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+15550100"), Property::Text(PR_SUBJECT_W, u"Hi"),
                      Property::Time(PR_MESSAGE_DELIVERY_TIME, at), Property::Number(PR_MESSAGE_FLAGS, 0)});
    auto dir = device_.InstallAppPath();
    {
        velmo::BlockedMessageFile file;
        file.SetPath(ToUtf16((dir / "Mesages.dat").string()));
        file.Open();
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550199", u"Blocked", u"", at)));
    }
    EXPECT_EQ(Device({"inbox"}).output, "Inbox: 1 message\n  unread  " + row.local + "  +15550100  Hi\n");
    EXPECT_EQ(Device({"blocked"}).output, dir.string() + "/Mesages.dat: 1 blocked message, newest first\n  1  " +
                                              row.local + "  +15550199  Blocked\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, StoredTimes, ::testing::ValuesIn(velmo::test::kStoredTimeRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageCommands, BlockedHelpSaysWhatTheNumbersAreFor) {
    auto help = Device({"blocked", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("newest first by delivery time (messages delivered at the same moment the last arrived "
                               "first), each with the number that `blocked restore N` takes\n"),
              std::string::npos)
        << help.output;
}

// A command that takes a message by its number in the `inbox` or `blocked` listing.
struct NumberedRow {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    std::string said;   // in the output, or in the errors when the command fails
    std::string inbox;  // what `inbox` lists afterwards
    std::size_t blockedLeft;
    std::vector<std::vector<std::string>> before = {};  // run first, each must succeed
    // Then, before the command: an Inbox message delivered before Lunch and a blocked one
    // newer than all arrive, each taking number 1; Lunch itself goes too for Replaced.
    enum { Nothing, Arrives, Replaced } between = Nothing;
};

class NumberedMessages : public MessageCommands, public ::testing::WithParamInterface<NumberedRow> {};

const std::string kLunchUnread = "  unread  2026-03-01 12:59:00  +15550100  Lunch\\n\\e[1mat noon\n";
const std::string kFirstRestored = "  unread  2026-03-01 13:00:00  +15550100  First\n";
const std::string kEarly = "  unread  2026-03-01 12:58:00  +15550111  Early\n";
const std::string kChanged = "message 1 changed since it was listed; list the Inbox again (velmo-device inbox)";

TEST_P(NumberedMessages, ShowOrChangeTheMessageOfThatNumber) {
    const NumberedRow& row = GetParam();
    auto data = device_.InstallAppPath() / "Mesages.dat";
    EntryId lunch;
    {
        // Stored in the opposite order to their delivery: the listed numbers follow delivery.
        velmo::BlockedMessageFile file;
        file.SetPath(ToUtf16(data.string()));
        file.Open();
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550199", u"Second", u"Bo", kOneMinuteLater)));
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550100", u"First", u"", kNoon)));
        MessageStore store;
        lunch = store.CreateMessage(u"Inbox",
                                    std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+15550100"),
                                                          Property::Text(PR_SUBJECT_W, u"Lunch\n\x1b[1mat noon"),
                                                          Property::Time(PR_MESSAGE_DELIVERY_TIME, kOneMinuteEarlier),
                                                          Property::Number(PR_MESSAGE_FLAGS, 0)});
        CreateUnwritten(store);  // no number names it, nor is it listed
    }
    for (const auto& command : row.before) ASSERT_EQ(Device(command).exitCode, 0) << command.back();
    if (row.between != NumberedRow::Nothing) {
        MessageStore store;
        store.CreateMessage(u"Inbox",
                            std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+15550111"),
                                                  Property::Text(PR_SUBJECT_W, u"Early"),
                                                  Property::Time(PR_MESSAGE_DELIVERY_TIME, kTwoMinutesEarlier)});
        if (row.between == NumberedRow::Replaced) {
            ASSERT_TRUE(store.DeleteMessage(u"Inbox", lunch));
        }
        velmo::BlockedMessageFile file;
        file.SetPath(ToUtf16(data.string()));
        file.Open();
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550122", u"Newest", u"", kTwoMinutesLater)));
    }
    auto result = Device(row.args);
    EXPECT_EQ(result.exitCode, row.exitCode) << result.errors;
    const std::string& said = row.exitCode == 0 ? result.output : result.errors;
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
    EXPECT_EQ(std::filesystem::file_size(data), 4 + 840 * row.blockedLeft);
    EXPECT_EQ(Device({"inbox"}).output, row.inbox);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NumberedMessages,
    ::testing::Values(
        NumberedRow{"RestoreTheOldestByItsNumber",
                    {"blocked", "restore", "2"},
                    0,
                    "restored to the Inbox, unread: 2026-03-01 13:00:00  +15550100  First",
                    "Inbox: 2 messages\n" + kLunchUnread + kFirstRestored,
                    1},
        NumberedRow{"RestoreANumberPastTheList",
                    {"blocked", "restore", "3"},
                    2,
                    "there is no blocked message 3; `blocked` lists 2",
                    "Inbox: 1 message\n" + kLunchUnread,
                    2},
        NumberedRow{"RestoreNumberZero",
                    {"blocked", "restore", "0"},
                    2,
                    "there is no blocked message 0",
                    "Inbox: 1 message\n" + kLunchUnread,
                    2},
        NumberedRow{"ShowBlockedInFull",
                    {"blocked", "show", "1"},
                    0,
                    "From: Bo <+15550199>\nTime: 2026-03-01 13:01:00\n\nSecond\n",
                    "Inbox: 1 message\n" + kLunchUnread,
                    2},
        NumberedRow{"EmptyRemovesEveryBlocked",
                    {"blocked", "empty"},
                    0,
                    "removed 2 of 2 blocked messages; 0 kept\n",
                    "Inbox: 1 message\n" + kLunchUnread,
                    0},
        NumberedRow{"PurgeRemovesWhatAgedOut",
                    {"blocked", "purge"},
                    0,
                    "removed 2 of 2 blocked messages; 0 kept\n",
                    "Inbox: 1 message\n" + kLunchUnread,
                    0},
        NumberedRow{"BlockedAsJson",
                    {"blocked", "--json"},
                    0,
                    "  {\n    \"fileTime\": " + std::to_string(Join(kOneMinuteLater)) +
                        ",\n    \"name\": \"Bo\",\n    \"number\": \"+15550199\",\n    \"text\": \"Second\",\n"
                        "    \"time\": \"2026-03-01T12:01:00Z\"\n  },\n",
                    "Inbox: 1 message\n" + kLunchUnread,
                    2},
        NumberedRow{"ShowInboxInFullLeavesItUnread",
                    {"inbox", "show", "1"},
                    0,
                    "From: +15550100\nTime: 2026-03-01 12:59:00\nRead: no\n\nLunch\n\\e[1mat noon\n",
                    "Inbox: 1 message\n" + kLunchUnread,
                    2},
        NumberedRow{"MarkRead",
                    {"inbox", "read", "1"},
                    0,
                    "marked read: +15550100",
                    "Inbox: 1 message\n  read    2026-03-01 12:59:00  +15550100  Lunch\\n\\e[1mat noon\n",
                    2},
        NumberedRow{"MarkUnreadAgain",
                    {"inbox", "unread", "1"},
                    0,
                    "marked unread: +15550100",
                    "Inbox: 1 message\n" + kLunchUnread,
                    2},
        NumberedRow{"Delete", {"inbox", "delete", "1"}, 0, "deleted: +15550100", "Inbox: 0 messages\n", 2},
        NumberedRow{"DeleteANumberPastTheList",
                    {"inbox", "delete", "2"},
                    2,
                    "there is no message 2 in the Inbox; `inbox` lists 1",
                    "Inbox: 1 message\n" + kLunchUnread,
                    2},
        NumberedRow{
            "InboxAsJsonEscapesControls",
            {"inbox", "--json"},
            0,
            "[\n  {\n    \"fileTime\": " + std::to_string(Join(kOneMinuteEarlier)) +
                ",\n    \"name\": \"\",\n    \"number\": \"+15550100\",\n    \"read\": false,\n"
                "    \"text\": \"Lunch\\n\\u001b[1mat noon\",\n    \"time\": \"2026-03-01T11:59:00Z\"\n  }\n]\n",
            "Inbox: 1 message\n" + kLunchUnread,
            2},
        NumberedRow{"DeleteTheListedAfterItWasReadAndAnotherArrived",
                    {"inbox", "delete", "1"},
                    0,
                    "deleted: +15550100  Lunch",
                    "Inbox: 1 message\n" + kEarly,
                    3,
                    {{"inbox"}, {"inbox", "read", "1"}},
                    NumberedRow::Arrives},
        NumberedRow{"DeleteRefusesWhenTheListedWent",
                    {"inbox", "delete", "1"},
                    1,
                    kChanged,
                    "Inbox: 1 message\n" + kEarly,
                    3,
                    {{"inbox", "--json"}},
                    NumberedRow::Replaced},
        NumberedRow{"BlockRefusesWhenTheListedWent",
                    {"inbox", "block", "1"},
                    1,
                    kChanged,
                    "Inbox: 1 message\n" + kEarly,
                    3,
                    {{"inbox"}},
                    NumberedRow::Replaced},
        NumberedRow{"DeleteCountsTheListing",
                    {"inbox", "delete", "2"},
                    2,
                    "there is no message 2 in the Inbox; `inbox` lists 1",
                    "Inbox: 2 messages\n" + kEarly + kLunchUnread,
                    3,
                    {{"inbox"}},
                    NumberedRow::Arrives},
        NumberedRow{"DeleteWithoutAListingCountsAsNow",
                    {"inbox", "delete", "1"},
                    0,
                    "deleted: +15550111  Early",
                    "Inbox: 1 message\n" + kLunchUnread,
                    3,
                    {},
                    NumberedRow::Arrives},
        NumberedRow{
            "RestoreTheListedAfterANewerWasBlocked",
            {"blocked", "restore", "1"},
            0,
            "restored to the Inbox, unread: 2026-03-01 13:01:00  Bo <+15550199>  Second",
            "Inbox: 3 messages\n" + kEarly + kLunchUnread + "  unread  2026-03-01 13:01:00  Bo <+15550199>  Second\n",
            2,
            {{"blocked"}},
            NumberedRow::Arrives},
        NumberedRow{"ShowBlockedRefusesWhenTheListedWent",
                    {"blocked", "show", "1"},
                    1,
                    "blocked message 1 changed since it was listed; list them again (velmo-device blocked)",
                    "Inbox: 2 messages\n" + kLunchUnread + "  unread  2026-03-01 13:01:00  Bo <+15550199>  Second\n",
                    1,
                    {{"blocked", "--json"}, {"blocked", "restore", "1"}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BlockRow {
    const char* name;
    bool appPath;  // whether Mesages.dat has a home
    std::string number;
    int exitCode;
    const char* said;         // in the output, or in the errors when the command fails
    const char16_t* blocked;  // the text of the one record written, or null for none
};

class InboxBlock : public MessageCommands, public ::testing::WithParamInterface<BlockRow> {};

TEST_P(InboxBlock, MovesTheListedMessageToMesagesDatAsDismissDoesAndCountsNothing) {
    const BlockRow& row = GetParam();
    auto data = (row.appPath ? device_.InstallAppPath() : device_.Root()) / "Mesages.dat";
    {
        // Stored in the opposite order to their delivery: the numbers follow the listing.
        MessageStore store;
        store.CreateMessage(u"Inbox", std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+15550199"),
                                                            Property::Text(PR_SENDER_NAME_W, u"Prize Desk"),
                                                            Property::Text(PR_SUBJECT_W, u"You have won"),
                                                            Property::Time(PR_MESSAGE_DELIVERY_TIME, kOneMinuteLater)});
        store.CreateMessage(u"Inbox", std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+15550100"),
                                                            Property::Text(PR_SUBJECT_W, u"Lunch?"),
                                                            Property::Time(PR_MESSAGE_DELIVERY_TIME, kNoon)});
        CreateUnwritten(store);
    }
    auto result = Device({"inbox", "block", row.number});
    EXPECT_EQ(result.exitCode, row.exitCode) << result.errors;
    EXPECT_NE((row.exitCode == 0 ? result.output : result.errors).find(row.said), std::string::npos)
        << result.output << result.errors;
    EXPECT_EQ(MessageStore().Count(u"Inbox"), row.blocked != nullptr ? 1u : 2u);
    if (row.blocked == nullptr) {
        EXPECT_FALSE(std::filesystem::exists(data) && std::filesystem::file_size(data) > 4);
        return;
    }
    std::vector<std::uint8_t> expected(4, 0);
    velmo::BlockedMessageRecord record =
        velmo::MakeBlockedMessageRecord(u"+15550199", row.blocked, u"Prize Desk", kOneMinuteLater);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    expected.insert(expected.end(), bytes, bytes + sizeof record);
    EXPECT_EQ(velmo::test::ReadFileBytes(data), expected);
    EXPECT_EQ(Device({"registry", "get", "HKLM/Software/Apps/VelmoLight", "BlockedMsg"}).exitCode, 2)
        << "no counter is written";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InboxBlock,
    ::testing::Values(BlockRow{"TheSecondListed", true, "2", 0,
                               "moved to the blocked messages: Prize Desk <+15550199>  You have won", u"You have won"},
                      BlockRow{"ANumberPastTheList", true, "3", 2,
                               "there is no message 3 in the Inbox; `inbox` lists 2", nullptr},
                      BlockRow{"WithoutAppPath", false, "1", 1, "\"AppPath\" is not set", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// A numbered command run while the receiver works on a message, which silently accepts it:
// the command waits for the receiver's turn and acts on the read copy the turn leaves.
struct TurnRow {
    const char* name;
    std::vector<std::string> args;
    std::string said;
    std::string inbox;  // what `inbox` lists afterwards
};

class InTheReceiversTurn : public MessageCommands, public ::testing::WithParamInterface<TurnRow> {};

TEST_P(InTheReceiversTurn, ANumberedCommandActsOnlyBetweenMessages) {
    velmo::BlockedMessageFile blocked;
    blocked.SetPath(ToUtf16((device_.InstallAppPath() / "Mesages.dat").string()));
    blocked.Open();
    ASSERT_TRUE(blocked.Append(velmo::MakeBlockedMessageRecord(u"+15550199", u"Back", u"", kOneMinuteLater)));
    blocked.Close();
    auto sms = [](std::int64_t flags) {
        return std::vector<Property>{
            Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+15550100"), Property::Text(PR_SUBJECT_W, u"Lunch"),
            Property::Time(PR_MESSAGE_DELIVERY_TIME, kNoon), Property::Number(PR_MESSAGE_FLAGS, flags)};
    };
    MessageStore store;
    EntryId original = store.CreateMessage(u"Inbox", sms(0));
    LockFile turn;
    ASSERT_TRUE(turn.Lock(ToUtf16((device_.Root() / "transport.lock").string())));
    const auto out = device_.Root() / "command.txt";
    velmo::test::BackgroundProcess command(BinPath("velmo-device").string(), GetParam().args, out);
    auto said = [&] { return velmo::test::ReadFileText(out); };
    EXPECT_FALSE(velmo::test::WaitFor(std::chrono::seconds(2), [&] { return !said().empty(); })) << said();
    store.CreateMessage(u"Inbox", sms(MSGFLAG_READ));
    ASSERT_TRUE(store.DeleteMessage(u"Inbox", original));
    turn.Unlock();
    EXPECT_TRUE(velmo::test::WaitFor(std::chrono::seconds(30), [&] {
        return said().find(GetParam().said) != std::string::npos;
    })) << said();
    command.Stop();
    EXPECT_EQ(Device({"inbox"}).output, GetParam().inbox);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InTheReceiversTurn,
    ::testing::Values(TurnRow{"Delete", {"inbox", "delete", "1"}, "deleted: +15550100  Lunch", "Inbox: 0 messages\n"},
                      TurnRow{"Block", {"inbox", "block", "1"}, "moved to the blocked messages", "Inbox: 0 messages\n"},
                      TurnRow{"Restore",
                              {"blocked", "restore", "1"},
                              "restored to the Inbox",
                              "Inbox: 2 messages\n  read    2026-03-01 13:00:00  +15550100  Lunch\n"
                              "  unread  2026-03-01 13:01:00  +15550199  Back\n"},
                      TurnRow{"MarkUnread",
                              {"inbox", "unread", "1"},
                              "marked unread",
                              "Inbox: 1 message\n  unread  2026-03-01 13:00:00  +15550100  Lunch\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageCommands, RestoreWithADamagedMessageStoreRemovesNothing) {
    auto data = device_.InstallAppPath() / "Mesages.dat";
    {
        velmo::BlockedMessageFile file;
        file.SetPath(ToUtf16(data.string()));
        file.Open();
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550100", u"First", u"", kNoon)));
    }
    std::filesystem::remove(device_.Root() / "messages.db");
    std::ofstream(device_.Root() / "messages.db") << std::string(4096, 'x');
    auto result = Device({"blocked", "restore", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find("the Inbox cannot be written"), std::string::npos) << result.errors;
    EXPECT_EQ(std::filesystem::file_size(data), 4u + 840);
}

}  // namespace
