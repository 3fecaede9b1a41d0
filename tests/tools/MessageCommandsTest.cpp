#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "device/Clock.h"
#include "device/MessageStore.h"
#include "device/Text.h"
#include "support/Process.h"
#include "support/TempDevice.h"

using namespace velmo::device;

namespace {

using velmo::test::BinPath;
using velmo::test::RunProcess;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return RunProcess(BinPath("velmo-device").string(), args);
}

// 2026-03-01 12:00:00 UTC; the commands show it in the zone of TZ=UTC-1, an hour later.
const FILETIME kNoon = Split(ToFileTime(std::chrono::sys_days{std::chrono::year{2026} / 3 / 1} + std::chrono::hours{12}));
const FILETIME kOneMinuteLater = Split(Join(kNoon) + 60 * 10'000'000ULL);

class MessageCommands : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) zone_ = zone;
        setenv("TZ", "UTC-1", 1);
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
        store.CreateMessage(u"Inbox", std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"+4915112345678"),
                                                            Property::Text(PR_SENDER_NAME_W, u"Anna Berg"),
                                                            Property::Text(PR_SUBJECT_W, u"Grüße\naus Köln"),
                                                            Property::Time(PR_MESSAGE_DELIVERY_TIME, kNoon),
                                                            Property::Number(PR_MESSAGE_FLAGS, 0)});
        store.CreateMessage(u"Inbox", std::vector<Property>{Property::Text(PR_SENDER_EMAIL_ADDRESS_W, u"BANK"),
                                                            Property::Text(PR_SUBJECT_W, u"Your code"),
                                                            Property::Time(PR_MESSAGE_DELIVERY_TIME, kOneMinuteLater),
                                                            Property::Number(PR_MESSAGE_FLAGS, MSGFLAG_READ)});
    }
    auto inbox = Device({"inbox"});
    EXPECT_EQ(inbox.exitCode, 0) << inbox.errors;
    EXPECT_EQ(inbox.output,
              "Inbox: 2 messages\n"
              "  unread  2026-03-01 13:00:00  Anna Berg <+4915112345678>  Grüße aus Köln\n"
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
    EXPECT_EQ(Device({"blocked"}).output, dir.string() + "/Mesages.dat: no blocked messages\n");
    {
        velmo::BlockedMessageFile file;
        file.SetPath(ToUtf16((dir / "Mesages.dat").string()));
        file.Open();
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550100", u"First", u"", kNoon)));
        ASSERT_TRUE(file.Append(velmo::MakeBlockedMessageRecord(u"+15550199", u"Second", u"Bo", kOneMinuteLater)));
    }
    auto blocked = Device({"blocked"});
    EXPECT_EQ(blocked.exitCode, 0) << blocked.errors;
    EXPECT_EQ(blocked.output, dir.string() +
                                  "/Mesages.dat: 2 blocked messages, newest first\n"
                                  "  2026-03-01 13:01:00  Bo <+15550199>  Second\n"
                                  "  2026-03-01 13:00:00  +15550100  First\n");
}

TEST_F(MessageCommands, BlockedWithoutTheProgramInstalledFails) {
    auto result = Device({"blocked"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find("not installed"), std::string::npos) << result.errors;
}

}  // namespace
