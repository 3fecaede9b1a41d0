// `sms receive --notify` against python-dbusmock's notification server on a private bus
// that the test starts and names as the session bus.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/FileHelpers.h"
#include "support/ModemStandIn.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

namespace fs = std::filesystem;
using velmo::test::BackgroundProcess;
using velmo::test::BinPath;
using velmo::test::Occurrences;
using velmo::test::ReadFileText;
using velmo::test::RunProcess;

struct NotifyRow {
    const char* name;
    bool bus;
    bool server;
    std::size_t notifications;
    std::size_t notAnnouncedLines;
    const char* capabilities = "body actions";
    const char* body = "Lunch <a href=x>at</a> \\e[1m& noon?";  // as the server got it
};

class Notifications : public ::testing::TestWithParam<NotifyRow> {
protected:
    static velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
        auto result = RunProcess(BinPath("velmo-device").string(), args);
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        return result;
    }

    void TearDown() override {
        server_.reset();
        bus_.reset();
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    velmo::test::TempDevice device_;
    std::unique_ptr<BackgroundProcess> bus_;
    std::unique_ptr<BackgroundProcess> server_;
};

TEST_P(Notifications, AnnounceOnlyWhatEndsUnreadAndNeverStopTheReceiver) {
    if (!velmo::test::ModemStandIn::Available()) GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock";
    const auto& row = GetParam();
    const fs::path socket = device_.Root() / "session";
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket.string()).c_str(), 1);
    if (row.bus) {
        bus_ = std::make_unique<BackgroundProcess>(
            "/usr/bin/dbus-daemon",
            std::vector<std::string>{"--session", "--nofork", "--address=unix:path=" + socket.string()},
            device_.Root() / "bus.log");
        ASSERT_TRUE(velmo::test::WaitFor(std::chrono::seconds(10), [&] { return fs::exists(socket); }));
    }
    const fs::path log = device_.Root() / "notifications.log";
    if (row.server) {
        server_ = std::make_unique<BackgroundProcess>(
            "/usr/bin/python3",
            std::vector<std::string>{"-m", "dbusmock", "--template", "notification_daemon", "-p",
                                     R"({"capabilities": ")" + std::string(row.capabilities) + "\"}", "-l",
                                     log.string()},
            device_.Root() / "server.out");
        ASSERT_TRUE(velmo::test::WaitFor(std::chrono::seconds(20), [&] {
            return RunProcess("/usr/bin/dbus-send",
                              {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.Notifications"})
                       .output.find("boolean true") != std::string::npos;
        }));
    }
    Device({"install"});
    Device({"contacts", "add", "--first", "Ada", "--last", "Quill", "--mobile", "+1 555 0100"});
    Device({"contacts", "add", "--first", "Bede", "--mobile", "+1 555 0102"});
    Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "ActiveState", "--dword", "0"});
    Device({"contacts", "action", "2", "silent"});
    Device({"contacts", "action", "unknown", "dismiss"});
    const fs::path batch = device_.Root() / "batch.txt";
    const std::string text =
        "+15550100\t\tLunch <a href=x>at</a> \x1b[1m& noon?\n+15550102\t\tquiet\n+15550199\t\tprize\n";
    velmo::test::WriteFileBytes(batch, std::vector<std::uint8_t>(text.begin(), text.end()));

    auto result = Device({"sms", "receive", "--notify", "--batch", batch.string()});
    EXPECT_EQ(Occurrences(result.output, "\n"), 3u) << result.output;
    EXPECT_EQ(Occurrences(result.errors, "messages are not announced on the desktop"), row.notAnnouncedLines)
        << result.errors;
    EXPECT_EQ(Device({"inbox"}).output.rfind("Inbox: 2 messages\n", 0), 0u);
    const std::string notified = row.server ? ReadFileText(log) : "";
    EXPECT_EQ(Occurrences(notified, " Notify "), row.notifications) << notified;
    // Nobody stays to answer an action of `sms receive`, so it offers none.
    if (row.notifications > 0) {
        EXPECT_NE(notified.find("Notify \"Velmo\" 0 \"\" \"Quill Ada\" \"" + std::string(row.body) + "\" []"),
                  std::string::npos)
            << notified;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Notifications,
                         ::testing::Values(NotifyRow{"OnlyTheUnreadMessage", true, true, 1, 0},
                                           NotifyRow{"AServerThatReadsMarkupGetsItEscaped", true, true, 1, 0,
                                                     "body body-markup actions",
                                                     "Lunch &lt;a href=x&gt;at&lt;/a&gt; \\e[1m&amp; noon?"},
                                           NotifyRow{"NoServerIsOneLineOnce", true, false, 0, 1},
                                           NotifyRow{"NoBusIsOneLineOnce", false, false, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
