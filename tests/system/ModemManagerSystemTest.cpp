// `velmo-device sms listen --modem-manager` against the stand-in ModemManager
// (modem_standin.py, a python-dbusmock template) on a private dbus-daemon that the test
// starts and names as the system bus.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
#include "support/SmallDisk.h"
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
        Device({"contacts", "add", "--first", "Bea", "--mobile", "+1 555 0111"});
        Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "ActiveState", "--dword", "0"});
        Device({"contacts", "action", "1", "accept"});
        Device({"contacts", "action", "2", "silent"});
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

    void StartReceiver(const std::string& ready = "serving modem " + Modem0 + "\n", std::size_t times = 1,
                       const std::vector<std::string>& options = {}) {
        std::vector<std::string> args{"sms", "listen", "--modem-manager"};
        args.insert(args.end(), options.begin(), options.end());
        receiver_ = std::make_unique<BackgroundProcess>(BinPath("velmo-device").string(), args, Output());
        ASSERT_TRUE(WaitFor(20s, [&] { return Occurrences(ReadFileText(Output()), ready) >= times; }))
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
    // The messages on the first modem.
    std::size_t ModemMessages() const {
        auto reply = RunProcess("/usr/bin/dbus-send",
                                {"--system", "--print-reply", "--dest=org.freedesktop.ModemManager1", Modem0,
                                 "org.freedesktop.DBus.Properties.Get",
                                 "string:org.freedesktop.ModemManager1.Modem.Messaging", "string:Messages"});
        return Occurrences(reply.output, "object path");
    }
    fs::path Journal() const { return device_.Root() / "modem-journal.txt"; }
    fs::path BlockedList() const { return device_.Root() / "Program Files/VelmoLight/Mesages.dat"; }
    // 0 while the value is not written.
    static int Counter(const std::string& name) {
        auto result =
            RunProcess(BinPath("velmo-device").string(), {"registry", "get", "HKLM/Software/Apps/VelmoLight", name});
        auto at = result.output.find("REG_DWORD");
        return result.exitCode == 0 && at != std::string::npos ? std::atoi(result.output.c_str() + at + 9) : 0;
    }

    velmo::test::ScopedTimeZone zone_{"UTC"};  // the Inbox shows delivery times in local time
    velmo::test::TempDevice device_;
    std::unique_ptr<velmo::test::ModemStandIn> standIn_;
    std::unique_ptr<BackgroundProcess> receiver_;
};

const std::string LunchLine =
    "accepted: +15550100 \"Lunch at noon?\": event 0x00000000, MRC_NOT_HANDLED; sender key 1 (Ada); in the Inbox, "
    "unread\n";
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

// The receiver killed while it waits on a lock at one step of a message; the next one
// finishes the message: one copy, where its action puts it, counted once, gone from the modem.
enum class Hold { TransportTurn, BlockedList, Registry, ModemDeletes };

struct KillRow {
    const char* name;
    const char* number;
    const char* text;
    Hold hold;
    std::string blockedAt;  // a part of the device's state that shows the receiver at the step
    std::string inbox;
    std::size_t blocked;  // records in Mesages.dat
    int blockedMsg;
    int silentMsg;
    // ModemManager starts again meanwhile and gives the message another object path.
    bool renumbered = false;
};

class ModemManagerKill : public ModemManagerSystem, public ::testing::WithParamInterface<KillRow> {
protected:
    // What the receiver shows of its progress: the journal's last mark, the Inbox and the blocked list.
    std::string Progress() {
        std::string journal = ReadFileText(Journal());
        auto last = journal.size() < 2 ? std::string::npos : journal.rfind('\n', journal.size() - 2);
        std::string mark = journal.empty() ? "" : journal.substr(last == std::string::npos ? 0 : last + 1, 1);
        return "journal " + mark + "; " + Device({"inbox"}).output + "blocked " +
               std::to_string(fs::exists(BlockedList()) ? fs::file_size(BlockedList()) : 0);
    }
};

int Flock(const fs::path& file) {
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    EXPECT_EQ(::flock(fd, LOCK_EX), 0) << file;
    return fd;
}

TEST_P(ModemManagerKill, NextReceiverFinishesTheMessageOnce) {
    const auto& row = GetParam();
    StandIn("AddModem");
    StartReceiver();
    // A first message has the receiver and its rule client open every file they use.
    Receive(Modem0, "+15550100", "Lunch at noon?");
    ASSERT_TRUE(DeletesReach("1 0")) << ReadFileText(Output());
    int lock = -1;
    std::unique_ptr<BackgroundProcess> registryHolder;
    switch (row.hold) {
        case Hold::TransportTurn: lock = Flock(device_.Root() / "transport.lock"); break;
        case Hold::BlockedList: lock = Flock(BlockedList()); break;
        case Hold::ModemDeletes: StandIn("HoldDeletes", {"boolean:true"}); break;
        case Hold::Registry:
            registryHolder = std::make_unique<BackgroundProcess>(
                "/usr/bin/python3",
                std::vector<std::string>{"-c",
                                         "import sqlite3, sys, time\n"
                                         "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                         "db.execute('BEGIN IMMEDIATE')\nprint('held', flush=True)\ntime.sleep(120)",
                                         (device_.Root() / "registry.db").string()},
                device_.Root() / "holder.out");
            ASSERT_TRUE(WaitFor(20s, [&] { return ReadFileText(device_.Root() / "holder.out") == "held\n"; }));
            break;
    }
    const std::string path = Receive(Modem0, row.number, row.text);
    ASSERT_TRUE(WaitFor(20s, [&] { return Progress().find(row.blockedAt) != std::string::npos; })) << Progress();
    receiver_->Kill();
    if (row.renumbered) StandIn("Renumber", {"objpath:" + path});
    if (lock >= 0) ::close(lock);
    registryHolder.reset();
    StandIn("HoldDeletes", {"boolean:false"});

    StartReceiver();
    ASSERT_TRUE(DeletesReach("2 0")) << ReadFileText(Output());
    EXPECT_EQ(Device({"inbox"}).output, row.inbox);
    EXPECT_EQ(fs::exists(BlockedList()) ? fs::file_size(BlockedList()) : 4, 4 + 840 * row.blocked);
    EXPECT_EQ(Counter("BlockedMsg"), row.blockedMsg);
    EXPECT_EQ(Counter("SilentMsg"), row.silentMsg);
    // The next start keeps only what is unfinished: nothing.
    StopReceiver();
    StartReceiver();
    EXPECT_EQ(ReadFileText(Journal()), "");
}

const std::string Lunch = "  unread  2024-05-01 07:30:15  +15550100  Lunch at noon?\n";
const std::string Dinner = "  unread  2024-05-01 07:30:15  +15550100  Dinner at eight?\n";
const std::string Six = "  read    2024-05-01 07:30:15  +15550111  See you at six\n";
const std::string LunchOnly = "Inbox: 1 message\n" + Lunch;
const std::string Two = "Inbox: 2 messages\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, ModemManagerKill,
    ::testing::Values(KillRow{"AcceptedBeforeItIsStored", "+15550100", "Dinner at eight?", Hold::TransportTurn,
                              "journal T; " + LunchOnly + "blocked", Two + Lunch + Dinner, 0, 0, 0},
                      KillRow{"SilentBeforeItIsStored", "+15550111", "See you at six", Hold::TransportTurn,
                              "journal T; " + LunchOnly + "blocked", Two + Lunch + Six, 0, 0, 1},
                      KillRow{"DismissedWhileItIsFiltered", "+15550199", "You have won a prize", Hold::BlockedList,
                              "journal S; " + Two, LunchOnly, 1, 1, 0},
                      KillRow{"DismissedBeforeItIsCounted", "+15550199", "You have won a prize", Hold::Registry,
                              "journal S; " + LunchOnly + "blocked 844", LunchOnly, 1, 1, 0},
                      KillRow{"SilentBeforeItIsCounted", "+15550111", "See you at six", Hold::Registry,
                              "journal S; " + Two + Lunch + Six, Two + Lunch + Six, 0, 0, 1},
                      KillRow{"AcceptedBeforeItIsDeleted", "+15550100", "Dinner at eight?", Hold::ModemDeletes,
                              "journal F; " + Two + Lunch + Dinner, Two + Lunch + Dinner, 0, 0, 0},
                      KillRow{"AcceptedBeforeItIsDeletedAndRenumbered", "+15550100", "Dinner at eight?",
                              Hold::ModemDeletes, "journal F; " + Two + Lunch + Dinner, Two + Lunch + Dinner, 0, 0, 0,
                              true}),
    [](const auto& info) { return std::string(info.param.name); });

// Stopped while commands wait (each would hang), it ends within BackgroundProcess::Stop's
// ten seconds, cleanly: the running command is ended and the queued ones are not run.
TEST_F(ModemManagerSystem, StoppedWithHooksQueuedItEndsThemAndSaysHowManyDidNotRun) {
    StandIn("AddModem");
    const fs::path hook = device_.Root() / "hook.txt";
    StartReceiver("serving modem " + Modem0 + "\n", 1,
                  {"--exec", "echo \"$SMS_TEXT $$\" >> '" + hook.string() + "'; exec sleep 60"});
    for (const char* text : {"one", "two", "three"}) Receive(Modem0, "+15550100", text);
    ASSERT_TRUE(DeletesReach("3 0")) << ReadFileText(Output());
    ASSERT_TRUE(WaitFor(20s, [&] { return !ReadFileText(hook).empty(); }));
    StopReceiver();
    const std::string ran = ReadFileText(hook);
    ASSERT_EQ(ran.rfind("one ", 0), 0u) << ran;
    EXPECT_EQ(Occurrences(ran, "\n"), 1u) << ran;
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(std::atoi(ran.c_str() + 4)))) << ran;
    EXPECT_NE(ReadFileText(Output()).find("2 --exec commands were not run: the receiver was stopped\n"),
              std::string::npos)
        << ReadFileText(Output());
}

// A message the device had no room for stays on the modem, which signals it no more: the
// receiver looks again at once after the next message it stores, and after a while without one.
class ModemManagerFullDisk : public ModemManagerSystem, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        // The device on a file system of its own; the receiver's output and the bus stay outside it.
        disk_ = std::make_unique<velmo::test::SmallDisk>(device_.Root() / "device", "128m");
        if (!disk_->whyNot.empty()) GTEST_SKIP() << "cannot mount a tmpfs: " << disk_->whyNot;
        setenv("VELMO_DEVICE", (device_.Root() / "device").c_str(), 1);
        ModemManagerSystem::SetUp();
    }
    std::unique_ptr<velmo::test::SmallDisk> disk_;  // unmounted after TearDown stopped the receiver
};

TEST_P(ModemManagerFullDisk, LeftMessageIsTakenOnceThereIsRoom) {
    const bool newArrival = GetParam();
    StandIn("AddModem");
    StartReceiver();
    Receive(Modem0, "+15550100", "Lunch at noon?");
    ASSERT_TRUE(DeletesReach("1 0")) << ReadFileText(Output());
    ASSERT_TRUE(disk_->LeaveFree(0));
    Receive(Modem0, "+15550100", "Dinner at eight?");
    ASSERT_TRUE(WaitFor(20s, [&] { return ReadFileText(Output()).find(" cannot be stored (") != std::string::npos; }))
        << ReadFileText(Output());
    disk_->Free();
    if (newArrival) Receive(Modem0, "+15550111", "See you at six");
    ASSERT_TRUE(WaitFor(50s, [&] { return standIn_->Deletes() == (newArrival ? "3 0" : "2 0"); }))
        << ReadFileText(Output());
    // The one that came later is stored first, the one left behind right after it.
    EXPECT_EQ(Device({"inbox"}).output,
              newArrival ? "Inbox: 3 messages\n" + Lunch + Six + Dinner : Two + Lunch + Dinner);
}

INSTANTIATE_TEST_SUITE_P(Rows, ModemManagerFullDisk, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "NextArrival" : "AfterAWhile"; });

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

// Whatever happens on the bus, the receiver goes on serving and says what it met.
class ModemManagerBus;

struct BusRow {
    const char* name;
    std::function<void(ModemManagerBus&)> happen;
    const char* line;  // on its output
    std::string inbox = LunchInInbox;
};

class ModemManagerBus : public ModemManagerSystem, public ::testing::WithParamInterface<BusRow> {
public:
    // After the bus or the name changed hands, the new stand-in's modem is served.
    void ServedAgain() {
        StandIn("AddModem");
        ASSERT_TRUE(WaitFor(30s, [&] {
            return Occurrences(ReadFileText(Output()), "serving modem " + Modem0 + "\n") == 2;
        })) << ReadFileText(Output());
    }

    using ModemManagerSystem::Output;
    using ModemManagerSystem::Receive;
    using ModemManagerSystem::standIn_;
};

TEST_P(ModemManagerBus, ReceiverServesOn) {
    StandIn("AddModem");
    StartReceiver();
    GetParam().happen(*this);
    Receive(Modem0, "+15550100", "Lunch at noon?");
    ASSERT_TRUE(DeletesReach("1 0")) << ReadFileText(Output());
    EXPECT_EQ(Device({"inbox"}).output, GetParam().inbox);
    EXPECT_NE(ReadFileText(Output()).find(GetParam().line), std::string::npos) << ReadFileText(Output());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ModemManagerBus,
    ::testing::Values(BusRow{"BusRestarts",
                             [](ModemManagerBus& test) {
                                 test.standIn_->RestartBus();
                                 test.ServedAgain();
                             },
                             "the system bus is gone; connecting again\n"},
                      BusRow{"NamePassesToANewOwner",
                             [](ModemManagerBus& test) {
                                 test.standIn_->Replace();
                                 test.ServedAgain();
                             },
                             "ModemManager's name passed to a new owner; taking its modems afresh\n"},
                      // The network delivers the same text twice, the first time to a modem that
                      // then does not answer its Delete.
                      BusRow{"SameMessageAgainAfterADeleteGotNoAnswer",
                             [](ModemManagerBus& test) {
                                 test.standIn_->Call("HoldDeletes", {"boolean:true"});
                                 test.Receive(Modem0, "+15550100", "Lunch at noon?");
                                 ASSERT_TRUE(WaitFor(10s, [&] {
                                     return ReadFileText(test.Output()).find("did not delete it") != std::string::npos;
                                 })) << ReadFileText(test.Output());
                                 test.standIn_->Call("HoldDeletes", {"boolean:false"});
                             },
                             "is stored, but the modem did not delete it (org.freedesktop.DBus.Error.NoReply",
                             Two + Lunch + Lunch},
                      BusRow{"StateOutsideTheKnownOnes",
                             [](ModemManagerBus& test) { test.Receive(Modem0, "+15550100", "Odd", "uint32:9"); },
                             "its State 9 is none that ModemManager defines; left on the modem\n"}),
    [](const auto& info) { return std::string(info.param.name); });

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
    // The refused message's copy and the sent one's are gone from the modem.
    EXPECT_EQ(standIn_->Deletes(), "2 0");
    EXPECT_EQ(ModemMessages(), 0u);
}

// `sms send` killed while the modem holds back its answer to one step; the retry finds what
// the modem has and sends the message once, leaving nothing of it on the modem.
struct SendKillRow {
    const char* name;
    const char* held;  // the method whose answer the modem holds back
};

class ModemManagerSendKill : public ModemManagerSystem, public ::testing::WithParamInterface<SendKillRow> {};

TEST_P(ModemManagerSendKill, RetrySendsItOnce) {
    StandIn("AddModem");
    const std::vector<std::string> hold{std::string("string:") + GetParam().held, "boolean:true"};
    StandIn("HoldAnswers", hold);
    BackgroundProcess sender(BinPath("velmo-device").string(),
                             {"sms", "send", "--to", "+15550100", "--text", "See you at noon"},
                             device_.Root() / "send.out");
    ASSERT_TRUE(WaitFor(20s, [&] { return StandIn("HoldAnswers", hold).find("uint32 1") != std::string::npos; }));
    sender.Kill();
    StandIn("HoldAnswers", {std::string("string:") + GetParam().held, "boolean:false"});
    EXPECT_EQ(Device({"sms", "send", "--retry"}).output, "sent to +15550100 \"See you at noon\": in Sent\n");
    EXPECT_EQ(Occurrences(StandIn("Sent"), "struct {"), 1u) << StandIn("Sent");
    EXPECT_EQ(ModemMessages(), 0u);
    EXPECT_EQ(Device({"inbox", "--folder", "Outbox"}).output, "Outbox: 0 messages\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, ModemManagerSendKill,
                         ::testing::Values(SendKillRow{"KilledBeforeCreateIsAnswered", "Create"},
                                           SendKillRow{"KilledBeforeSendIsAnswered", "Send"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModemManagerSystem, StandInHasModemManagersInterfaces) {
    auto result =
        RunProcess("/usr/bin/python3", {(fs::path(VELMO_SOURCE_DIR) / "tests/system/modem_standin_check.py").string(),
                                        "/usr/share/dbus-1/interfaces"});
    EXPECT_EQ(result.exitCode, 0) << result.output << result.errors;
    EXPECT_NE(result.output.find(", 0 mismatches\n"), std::string::npos) << result.output;
}

}  // namespace

// The manual's recipe for a machine without a modem, whose shell keeps naming neither its
// bus nor its device.
TEST(ModemManagerRecipe, WorksAsTheReadmeGivesIt) {
    if (!velmo::test::ModemStandIn::Available()) GTEST_SKIP() << "needs dbus-daemon, dbus-send and python3-dbusmock";
    velmo::test::ReadmeRecipe recipe("docs/modems.md", "Without a modem, the stand-in ModemManager");
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

// The manual's day without a modem: one private bus as the system bus (the stand-in
// ModemManager) and the session bus (python-dbusmock's notification server).
TEST(DailyUseRecipe, AnnouncesOnlyTheUnreadMessageAndTellsTheHookEveryOne) {
    if (!velmo::test::ModemStandIn::Available()) GTEST_SKIP() << "needs dbus-daemon, dbus-send and python3-dbusmock";
    velmo::test::ReadmeRecipe recipe("docs/daily-use.md", "Without a modem, the stand-ins show the whole day");
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
