// `velmo-device sms listen --modem-manager` against the stand-in ModemManager
// (modem_standin.py, a python-dbusmock template) on a private dbus-daemon that the test
// starts and names as the system bus.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "device/Clock.h"
#include "device/SmsInput.h"
#include "support/FileHelpers.h"
#include "support/ModemStandIn.h"
#include "support/Process.h"
#include "support/ReadmeRecipe.h"
#include "support/ScopedTimeZone.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using velmo::test::BackgroundProcess;
using velmo::test::BinPath;
using velmo::test::Occurrences;
using velmo::test::ReadFileText;
using velmo::test::RunProcess;
using velmo::test::WaitFor;

const std::string Modem0 = "/org/freedesktop/ModemManager1/Modem/0";
const std::string Received = "uint32:3";

class ModemManagerSystem : public ::testing::Test {
protected:
    void SetUp() override {
        if (!velmo::test::ModemStandIn::Available()) {
            GTEST_SKIP() << "needs dbus-daemon, dbus-send and python3-dbusmock (Debian packages)";
        }
        standIn_ = std::make_unique<velmo::test::ModemStandIn>(device_.Root());
        Device({"install"});
        Device({"contacts", "add", "--first", "Ada", "--mobile", "+1 555 0100"});
        Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "ActiveState", "--dword", "0"});
        Device({"contacts", "action", "1", "accept"});
        Device({"contacts", "action", "unknown", "dismiss"});
    }

    void TearDown() override {
        if (receiver_) StopReceiver();
        standIn_.reset();
    }

    static velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
        auto result = RunProcess(BinPath("velmo-device").string(), args);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return result;
    }

    std::string StandIn(const std::string& method, const std::vector<std::string>& args = {}) {
        return standIn_->Call(method, args);
    }

    // The path of the new message.
    std::string Receive(const std::string& modem, const std::string& number, const std::string& text,
                        const std::string& state = Received) {
        std::string reply = StandIn("Receive", {"objpath:" + modem, "string:" + number, "string:" + text,
                                                "string:2024-05-01T09:30:15+02", state});
        auto quote = reply.find('"');
        return quote == std::string::npos ? "" : reply.substr(quote + 1, reply.find('"', quote + 1) - quote - 1);
    }

    bool DeletesReach(const std::string& counts) {
        return WaitFor(20s, [&] { return standIn_->Deletes() == counts; });
    }

    void StartReceiver(const std::string& ready = "serving modem " + Modem0 + "\n") {
        receiver_ = std::make_unique<BackgroundProcess>(
            BinPath("velmo-device").string(), std::vector<std::string>{"sms", "listen", "--modem-manager"}, Output());
        ASSERT_TRUE(WaitFor(20s, [&] { return ReadFileText(Output()).find(ready) != std::string::npos; }))
            << ReadFileText(Output());
    }

    // SIGTERM ends it cleanly.
    void StopReceiver() {
        int status = receiver_->Stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << ":\n"
                                                                   << ReadFileText(Output());
        receiver_.reset();
    }

    fs::path Output() const { return device_.Root() / "listen.out"; }

    velmo::test::ScopedTimeZone zone_{"UTC"};  // the Inbox shows delivery times in local time
    velmo::test::TempDevice device_;
    std::unique_ptr<velmo::test::ModemStandIn> standIn_;
    std::unique_ptr<BackgroundProcess> receiver_;
};

const std::string LunchLine =
    "accepted: +15550100 \"Lunch at noon?\": event 0x00000000, MRC_NOT_HANDLED; sender key 1; in the Inbox, unread\n";
const std::string LunchInInbox = "Inbox: 1 message\n  unread  2024-05-01 07:30:15  +15550100  Lunch at noon?\n";

TEST_F(ModemManagerSystem, ContactsMessageLandsInTheInboxAndLeavesTheModem) {
    StandIn("AddModem");
    StartReceiver();
    Receive(Modem0, "+15550100", "Lunch at noon?");
    ASSERT_TRUE(DeletesReach("1 0")) << ReadFileText(Output());
    EXPECT_EQ(Occurrences(ReadFileText(Output()), LunchLine), 1u) << ReadFileText(Output());
    EXPECT_EQ(Device({"inbox"}).output, LunchInInbox);
}

TEST_F(ModemManagerSystem, UnknownSenderIsDismissedIntoMesagesDat) {
    StandIn("AddModem");
    StartReceiver();
    Receive(Modem0, "+15550199", "You have won a prize");
    ASSERT_TRUE(DeletesReach("1 0")) << ReadFileText(Output());
    EXPECT_NE(
        ReadFileText(Output()).find("dismissed: +15550199 \"You have won a prize\": event 0x00000008, "
                                    "MRC_HANDLED_DONTCONTINUE; sender key -1 (unknown); deleted from the Inbox\n"),
        std::string::npos)
        << ReadFileText(Output());
    auto bytes = velmo::test::ReadFileBytes(device_.Root() / "Program Files/VelmoLight/Mesages.dat");
    ASSERT_EQ(bytes.size(), 4u + 840u);
    auto text = [&](std::size_t offset, std::u16string_view expected) {
        std::u16string found;
        for (std::size_t i = 4 + offset; bytes[i] != 0 || bytes[i + 1] != 0; i += 2) {
            found += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        }
        return found == expected;
    };
    EXPECT_TRUE(text(0, u"+15550199"));
    EXPECT_TRUE(text(64, u"You have won a prize"));
    std::uint64_t when = 0;
    for (int i = 7; i >= 0; --i) when = when << 8 | bytes[4 + 832 + i];
    EXPECT_EQ(when, velmo::device::FileTimeOf(velmo::device::ParseDeliveryTime("2024-05-01T07:30:15Z")));
    auto counter = Device({"registry", "get", "HKLM/Software/Apps/VelmoLight", "BlockedMsg"}).output;
    EXPECT_EQ(counter.rfind("REG_DWORD  1 (0x00000001)", 0), 0u) << counter;
}

TEST_F(ModemManagerSystem, TwoPartMessageIsStoredOnceWhenReceived) {
    StandIn("AddModem");
    StartReceiver();
    std::string partial = Receive(Modem0, "+15550100", "Lunch at", "uint32:2");
    // A later message handled means the earlier signal has been seen.
    Receive(Modem0, "+15550199", "You have won a prize");
    ASSERT_TRUE(DeletesReach("1 0")) << ReadFileText(Output());
    EXPECT_EQ(Device({"inbox"}).output, "Inbox: 0 messages\n");
    StandIn("Complete", {"objpath:" + partial, "string:Lunch at noon?"});
    ASSERT_TRUE(DeletesReach("2 0")) << ReadFileText(Output());
    EXPECT_EQ(Device({"inbox"}).output, LunchInInbox);
}

TEST_F(ModemManagerSystem, KilledBetweenStoreAndDeleteLosesNothingAndStoresNothingTwice) {
    StandIn("AddModem");
    StartReceiver();
    StandIn("HoldDeletes", {"boolean:true"});
    Receive(Modem0, "+15550100", "Lunch at noon?");
    ASSERT_TRUE(DeletesReach("0 1")) << ReadFileText(Output());
    receiver_->Kill();
    StandIn("HoldDeletes", {"boolean:false"});
    EXPECT_EQ(Device({"inbox"}).output, LunchInInbox);

    StartReceiver();
    ASSERT_TRUE(DeletesReach("1 0")) << ReadFileText(Output());
    EXPECT_EQ(Device({"inbox"}).output, LunchInInbox);
    EXPECT_EQ(Occurrences(ReadFileText(Output()), LunchLine), 0u) << ReadFileText(Output());
    const std::string key = "+15550100\t2024-05-01T09:30:15+02\tLunch at noon?\n";
    auto journal = velmo::test::ReadFileBytes(device_.Root() / "modem-journal.txt");
    EXPECT_EQ(std::string(journal.begin(), journal.end()), "+" + key + "-" + key);
    // The next start keeps only what is still pending: nothing.
    StopReceiver();
    StartReceiver();
    EXPECT_EQ(velmo::test::ReadFileBytes(device_.Root() / "modem-journal.txt").size(), 0u);
}

TEST_F(ModemManagerSystem, ModemRemovedAndAddedAgainIsFollowed) {
    StandIn("AddModem");
    StartReceiver();
    StandIn("RemoveModem", {"objpath:" + Modem0});
    ASSERT_TRUE(WaitFor(20s, [&] {
        return ReadFileText(Output()).find("modem " + Modem0 + " is gone\n") != std::string::npos;
    })) << ReadFileText(Output());
    StandIn("AddModem");
    ASSERT_TRUE(WaitFor(20s, [&] {
        return ReadFileText(Output()).find("serving modem /org/freedesktop/ModemManager1/Modem/1\n") !=
               std::string::npos;
    })) << ReadFileText(Output());
    Receive("/org/freedesktop/ModemManager1/Modem/1", "+15550100", "Lunch at noon?");
    ASSERT_TRUE(DeletesReach("1 0")) << ReadFileText(Output());
    EXPECT_EQ(Device({"inbox"}).output, LunchInInbox);
}

// Sent beside a running receiver, which leaves the modem's own message alone.
TEST_F(ModemManagerSystem, SentMessageReachesTheModemOrWaitsInTheOutboxForARetry) {
    StandIn("AddModem");
    StartReceiver();
    StandIn("RefuseSends", {"string:no network"});
    auto refused =
        RunProcess(BinPath("velmo-device").string(), {"sms", "send", "--to", "+15550100", "--text", "See you at noon"});
    EXPECT_EQ(refused.exitCode, 1) << refused.errors;
    EXPECT_EQ(refused.output, "not sent to +15550100 \"See you at noon\": modem " + Modem0 +
                                  " did not send it (org.freedesktop.ModemManager1.Error.Core.Failed: no network); "
                                  "left in the Outbox\n");
    StandIn("RefuseSends", {"string:"});
    EXPECT_EQ(Device({"sms", "send", "--retry"}).output, "sent to +15550100 \"See you at noon\": in Sent\n");
    const std::string sent = StandIn("Sent");
    EXPECT_EQ(Occurrences(sent, "struct {"), 1u) << sent;
    EXPECT_NE(sent.find("object path \"" + Modem0 +
                        "\"\n         string \"+15550100\"\n         string \"See you at "
                        "noon\""),
              std::string::npos)
        << sent;
    EXPECT_EQ(Device({"inbox", "--folder", "Outbox"}).output, "Outbox: 0 messages\n");
    EXPECT_NE(Device({"inbox", "--folder", "Sent"}).output.find("  to +15550100  See you at noon\n"),
              std::string::npos);
    EXPECT_EQ(standIn_->Deletes(), "0 0");
}

TEST_F(ModemManagerSystem, StandInHasModemManagersInterfaces) {
    auto result =
        RunProcess("/usr/bin/python3", {(fs::path(VELMO_SOURCE_DIR) / "tests/system/modem_standin_check.py").string(),
                                        "/usr/share/dbus-1/interfaces"});
    EXPECT_EQ(result.exitCode, 0) << result.output << result.errors;
    EXPECT_NE(result.output.find(", 0 mismatches\n"), std::string::npos) << result.output;
}

}  // namespace

// The README's recipe for a machine without a modem, whose shell keeps naming neither its
// bus nor its device.
TEST(ModemManagerRecipe, WorksAsTheReadmeGivesIt) {
    if (!velmo::test::ModemStandIn::Available()) GTEST_SKIP() << "needs dbus-daemon, dbus-send and python3-dbusmock";
    velmo::test::ReadmeRecipe recipe("Without a modem, the stand-in ModemManager");
    auto result = recipe.Run({"VELMO_DEVICE", "DBUS_SYSTEM_BUS_ADDRESS"},
                             "echo \"shell: ${VELMO_DEVICE-none} ${DBUS_SYSTEM_BUS_ADDRESS-none}\"\n");
    // Should the recipe's own kill have missed it, its bus goes now: the process of its PID
    // file, if that is still a dbus-daemon with the recipe's socket.
    const fs::path bus = recipe.Top() / "build" / "mm-bus";
    const int daemon = std::atoi(ReadFileText(bus / "pid").c_str());
    if (daemon > 0 && ReadFileText("/proc/" + std::to_string(daemon) + "/cmdline").find((bus / "socket").string()) !=
                          std::string::npos) {
        kill(daemon, SIGTERM);
    }
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(Occurrences(result.output, "serving modem " + Modem0 + "\n"), 1u) << result.output;
    EXPECT_EQ(Occurrences(result.output,
                          "dismissed: +15550199 \"You have won a prize\": event 0x00000008, "
                          "MRC_HANDLED_DONTCONTINUE; sender key -1 (unknown); deleted from the Inbox\n"),
              1u)
        << result.output << result.errors;
    EXPECT_NE(result.output.find("  +15550199  You have won a prize\n"), std::string::npos) << result.output;
    EXPECT_TRUE(result.output.ends_with("shell: none none\n")) << result.output;
}

// The README's day without a modem: one private bus as the system bus (the stand-in
// ModemManager) and the session bus (python-dbusmock's notification server).
TEST(DailyUseRecipe, AnnouncesOnlyTheUnreadMessageAndTellsTheHookEveryOne) {
    if (!velmo::test::ModemStandIn::Available()) GTEST_SKIP() << "needs dbus-daemon, dbus-send and python3-dbusmock";
    velmo::test::ReadmeRecipe recipe("Without a modem, the stand-ins show the whole day");
    auto result = recipe.Run({"VELMO_DEVICE", "DBUS_SYSTEM_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS", "HOOK"},
                             "echo \"shell: ${VELMO_DEVICE-none} ${DBUS_SESSION_BUS_ADDRESS-none}\"\n");
    const fs::path bus = recipe.Top() / "build" / "daily-bus";
    const int daemon = std::atoi(ReadFileText(bus / "pid").c_str());
    if (daemon > 0 && ReadFileText("/proc/" + std::to_string(daemon) + "/cmdline").find((bus / "socket").string()) !=
                          std::string::npos) {
        kill(daemon, SIGTERM);
    }
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_NE(result.output.find("accepted: Quill Ada: Lunch at noon?\ndismissed: +15550199: You have won a prize\n1\n"
                                 "Sent: 1 message\n"),
              std::string::npos)
        << result.output << result.errors << ReadFileText(bus / "listen.out");
    EXPECT_NE(result.output.find("  to +15550100  See you there\n"), std::string::npos) << result.output;
    EXPECT_NE(ReadFileText(bus / "notifications.log")
                  .find("Notify \"Velmo\" 0 \"\" \"Quill Ada\" \"Lunch at noon?\" [\"default\", \"Open Messaging\"]"),
              std::string::npos)
        << ReadFileText(bus / "notifications.log");
    EXPECT_TRUE(result.output.ends_with("shell: none none\n")) << result.output;
}
