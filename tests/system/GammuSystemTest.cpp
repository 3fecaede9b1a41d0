// gammu-smsd, the daemon that receives SMS from a GSM modem, run with gammu's dummy phone in a
// temporary directory: it finds the messages saved into the phone's inbox and hands each to
// `velmo-device sms receive --gammu` through RunOnReceive, as on a machine with a modem.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/ReadmeRecipe.h"
#include "support/TempDevice.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using velmo::test::BinPath;
using velmo::test::Occurrences;
using velmo::test::ReadFileText;
using velmo::test::WaitFor;

std::optional<fs::path> FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

class GammuSystem : public ::testing::Test {
protected:
    void SetUp() override {
        smsd_ = FindProgram("gammu-smsd");
        if (!smsd_) GTEST_SKIP() << "gammu-smsd is not installed (Debian packages gammu and gammu-smsd)";
        gammu_ = FindProgram("gammu");
        ASSERT_TRUE(gammu_) << "gammu-smsd is installed but gammu is not";

        Device({"install"});
        Device({"contacts", "add", "--first", "Ada", "--mobile", "+1 555 0100"});
        Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "ActiveState", "--dword", "0"});
        Device({"contacts", "action", "1", "accept"});
        Device({"contacts", "action", "unknown", "dismiss"});

        modem_ = device_.Root() / "modem";
        for (const char* dir : {"phone", "inbox", "outbox", "sent", "error"}) fs::create_directories(modem_ / dir);
        std::ofstream config(Config());
        config << "[gammu]\nmodel = dummy\nconnection = none\ndevice = " << (modem_ / "phone").string() << "\n\n"
               << "[smsd]\nservice = files\n"
               << "inboxpath = " << (modem_ / "inbox").string() << "/\n"
               << "outboxpath = " << (modem_ / "outbox").string() << "/\n"
               << "sentsmspath = " << (modem_ / "sent").string() << "/\n"
               << "errorsmspath = " << (modem_ / "error").string() << "/\n"
               << "logfile = " << Log().string() << "\n"
               << "RunOnReceive = VELMO_DEVICE='" << device_.Root().string() << "' '"
               << BinPath("velmo-device").string() << "' sms receive --gammu\n"
               << "CheckSecurity = 0\nCheckBattery = 0\nCheckSignal = 0\nCheckNetwork = 0\nStatusFrequency = 0\n"
               << "CommTimeout = 1\nReceiveFrequency = 1\nLoopSleep = 1\n";
    }

    static velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
        auto result = velmo::test::RunProcess(BinPath("velmo-device").string(), args);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return result;
    }

    // What `gammu savesms` does to the dummy phone: the message lies in its inbox, folder 1.
    void PhoneReceives(const std::string& sender, const std::string& text) {
        auto result = velmo::test::RunProcess(
            gammu_->string(), {"--config", Config().string(), "savesms", "TEXT", "-folder", "1", "-sender", sender,
                               "-len", std::to_string(text.size()), "-text", text});
        ASSERT_EQ(result.exitCode, 0) << result.output << result.errors;
    }

    fs::path Config() const { return modem_ / "smsdrc"; }
    fs::path Log() const { return modem_ / "smsd.log"; }

    velmo::test::TempDevice device_;
    fs::path modem_;
    std::optional<fs::path> smsd_;
    std::optional<fs::path> gammu_;
};

TEST_F(GammuSystem, FiltersWhatTheModemReceives) {
    const std::string longText = [] {
        std::string text;
        while (text.size() < 300) text += "Long news, part of one message. ";
        return text.substr(0, 300);
    }();
    PhoneReceives("+15550199", "You have won a prize");
    PhoneReceives("+15550100", "Lunch at noon?");
    PhoneReceives("+15550100", longText);

    // In the foreground with a PID file; it ends itself after two minutes should the test never stop it.
    velmo::test::BackgroundProcess daemon(
        smsd_->string(), {"--config", Config().string(), "--pid", (modem_ / "smsd.pid").string(), "--suicide", "120"},
        modem_ / "smsd.out");
    ASSERT_GT(daemon.Pid(), 0) << "gammu-smsd did not start";
    EXPECT_TRUE(WaitFor(10s, [&] { return ReadFileText(modem_ / "smsd.pid") == std::to_string(daemon.Pid()) + "\n"; }))
        << "PID file: " << ReadFileText(modem_ / "smsd.pid");
    // One RunOnReceive per message: the two parts of the long one come together.
    bool ran = WaitFor(90s, [&] {
        std::string log = ReadFileText(Log());
        return Occurrences(log, "Process finished successfully") + Occurrences(log, "Process failed") >= 3;
    });
    int status = daemon.Stop();
    std::string log = ReadFileText(Log());
    ASSERT_TRUE(ran) << "gammu-smsd did not run RunOnReceive three times:\n"
                     << log << ReadFileText(modem_ / "smsd.out");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "gammu-smsd ended with status " << status;

    EXPECT_EQ(Occurrences(log, "Process failed"), 0u) << log;
    EXPECT_EQ(Occurrences(log,
                          "dismissed: +15550199 \"You have won a prize\": event 0x00000008, "
                          "MRC_HANDLED_DONTCONTINUE; sender key -1 (unknown); deleted from the Inbox\n"),
              1u)
        << log;
    EXPECT_EQ(Occurrences(log,
                          "accepted: +15550100 \"Lunch at noon?\": event 0x00000000, MRC_NOT_HANDLED; "
                          "sender key 1 (Ada); in the Inbox, unread\n"),
              1u)
        << log;
    EXPECT_EQ(Occurrences(log, "accepted: +15550100 \"" + longText + "\": event 0x00000000"), 1u) << log;

    auto inbox = Device({"inbox"}).output;
    EXPECT_EQ(inbox.rfind("Inbox: 2 messages\n", 0), 0u) << inbox;
    EXPECT_EQ(Occurrences(inbox, "  +15550100  " + longText + "\n"), 1u) << inbox;
    auto blocked = Device({"blocked"}).output;
    EXPECT_NE(blocked.find(": 1 blocked message, newest first\n"), std::string::npos) << blocked;
    EXPECT_NE(blocked.find("  +15550199  You have won a prize\n"), std::string::npos) << blocked;
    auto counter = Device({"registry", "get", "HKLM/Software/Apps/VelmoLight", "BlockedMsg"}).output;
    EXPECT_EQ(counter.rfind("REG_DWORD  1 (0x00000001)", 0), 0u) << counter;

    // gammu-smsd keeps its own copy of every part it received.
    std::size_t kept = 0;
    for (const auto& entry : fs::directory_iterator(modem_ / "inbox")) {
        kept += entry.path().filename().string().rfind("IN", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(kept, 4u);
}

}  // namespace

// The manual's recipe for a machine without a modem.
TEST(GammuRecipe, WorksAsTheReadmeGivesIt) {
    if (!FindProgram("gammu-smsd") || !FindProgram("gammu")) GTEST_SKIP() << "gammu and gammu-smsd are not installed";
    velmo::test::ReadmeRecipe recipe("docs/modems.md", "Without a modem, gammu's dummy phone");
    auto result = recipe.Run({"VELMO_DEVICE"}, "echo \"shell: ${VELMO_DEVICE-none}\"\n");
    // Should the recipe's own kill have missed it, the daemon it started goes now: the process
    // of its PID file, if that is still a gammu-smsd with the recipe's configuration.
    const fs::path modem = recipe.Top() / "build" / "modem";
    const int daemon = std::atoi(ReadFileText(modem / "smsd.pid").c_str());
    const std::string command = ReadFileText("/proc/" + std::to_string(daemon) + "/cmdline");
    if (daemon > 0 && command.find((modem / "smsdrc").string()) != std::string::npos) kill(daemon, SIGTERM);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(Occurrences(result.output,
                          "dismissed: +15550199 \"You have won a prize\": event 0x00000008, "
                          "MRC_HANDLED_DONTCONTINUE; sender key -1 (unknown); deleted from the Inbox\n"),
              1u)
        << result.output << result.errors;
    EXPECT_NE(result.output.find(": 1 blocked message"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("  +15550199  You have won a prize\n"), std::string::npos) << result.output;
    EXPECT_TRUE(result.output.ends_with("shell: none\n")) << result.output;
}
