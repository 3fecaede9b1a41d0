// The SMS transport as its own process, loading the installed VelmoHandler.dll through COM,
// while other processes change ContactsInfo.dat and the settings the way VelmoLight does.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

extern char** environ;

namespace {

using velmo::test::BinPath;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    auto result = velmo::test::RunProcess(BinPath("velmo-device").string(), args);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    return result;
}

// `velmo-device sms receive --batch /dev/stdin`, fed one message at a time: one transport
// process that keeps running, and keeps the handler loaded, across all the messages.
class RunningTransport {
public:
    RunningTransport() {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::string program = BinPath("velmo-device").string();
        std::vector<std::string> args = {program, "sms", "receive", "--batch", "/dev/stdin"};
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
        if (rc != 0) throw std::runtime_error("cannot start " + program);
    }

    ~RunningTransport() {
        if (input_ >= 0) Finish();
    }

    // Hands over one message and waits for the transport's line about it.
    std::string Receive(const std::string& line) {
        std::string text = line + "\n";
        if (write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "(write failed)";
        std::string answer;
        char c = 0;
        while (read(output_, &c, 1) == 1 && c != '\n') answer.push_back(c);
        return answer;
    }

    // Ends the batch and gives the exit status.
    int Finish() {
        close(input_);
        input_ = -1;
        close(output_);
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = 0;
    int input_ = -1;
    int output_ = -1;
};

class TransportSystem : public ::testing::Test {
protected:
    void SetUp() override {
        Device({"install"});
        Device({"contacts", "add", "--first", "Ada", "--mobile", "+1 555 0100"});
        Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", "ActiveState", "--dword", "0"});
        Device({"contacts", "action", "1", "accept"});
    }

    static void Setting(const char* name, const char* value) {
        Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", name, "--dword", value});
    }

    static int Counter(const char* name) {
        auto text = Device({"registry", "get", "HKLM/Software/Apps/VelmoLight", name}).output;
        return text.rfind("REG_DWORD  ", 0) == 0 ? std::stoi(text.substr(11)) : -1;
    }

    static int Listed(const std::vector<std::string>& command, const std::regex& count) {
        std::smatch match;
        auto text = Device(command).output;
        return std::regex_search(text, match, count) ? std::stoi(match[1]) : 0;
    }

    velmo::test::TempDevice device;
};

TEST_F(TransportSystem, EachMessageSeesWhatAnotherProcessChangedBeforeIt) {
    RunningTransport transport;
    const std::string fromAda = "+1 555 0100\tAda\tnews";
    EXPECT_EQ(transport.Receive(fromAda).rfind("accepted: Ada <+1 555 0100> \"news\": event 0x00000000", 0), 0u);

    Device({"contacts", "action", "1", "dismiss"});
    auto dismissed = transport.Receive(fromAda);
    EXPECT_EQ(dismissed.rfind("dismissed: ", 0), 0u) << dismissed;
    EXPECT_NE(dismissed.find("sender key 1 (Ada); deleted from the Inbox"), std::string::npos) << dismissed;

    Device({"contacts", "action", "1", "silent"});
    EXPECT_EQ(transport.Receive(fromAda).rfind("silently accepted: ", 0), 0u);

    // A contact added to the address book meanwhile is found at once, with the default action.
    Device({"contacts", "add", "--first", "Bede", "--mobile", "+1 555 0102"});
    auto bede = transport.Receive("555-0102\t\thello");
    EXPECT_EQ(
        bede,
        "accepted: 555-0102 \"hello\": event 0x00000000, MRC_NOT_HANDLED; sender key 2 (Bede); in the Inbox, unread");

    Setting("ItemsState", "3");  // DismissAll
    EXPECT_EQ(transport.Receive("555-0102\t\tagain").rfind("dismissed: ", 0), 0u);
    Setting("ActiveState", "2");  // Disabled
    EXPECT_EQ(transport.Receive(fromAda),
              "accepted: Ada <+1 555 0100> \"news\": event 0x00000000, MRC_NOT_HANDLED; filtering is off (Disabled); "
              "in the Inbox, unread");
    EXPECT_EQ(transport.Finish(), 0);

    EXPECT_EQ(Counter("BlockedMsg"), 2);
    EXPECT_EQ(Counter("SilentMsg"), 1);
}

TEST_F(TransportSystem, TheNextMessageSeesAContactAddedChangedOrRemovedByAnotherProcess) {
    Setting("DefActionType", "2");  // contacts without an entry are silently accepted
    Device({"contacts", "action", "unknown", "dismiss"});
    RunningTransport transport;
    const std::string fromCal = "+1 555 0104\t\thi";
    const std::string fromCalsNewNumber = "+1 555 0106\t\thi";
    EXPECT_EQ(transport.Receive(fromCal).rfind("dismissed: ", 0), 0u);

    Device({"contacts", "add", "--first", "Cal", "--mobile", "+1 555 0104"});
    auto added = transport.Receive(fromCal);
    EXPECT_EQ(added.rfind("silently accepted: ", 0), 0u) << added;
    EXPECT_NE(added.find("sender key 2 (Cal);"), std::string::npos) << added;

    // This test's own process changes Cal's number, as another address-book program would.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((device.Root() / "contacts.db").c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    EXPECT_EQ(
        sqlite3_exec(db, "UPDATE contacts SET mobile_tel = '+1 555 0106' WHERE oid = 2", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(transport.Receive(fromCal).rfind("dismissed: ", 0), 0u);
    auto changed = transport.Receive(fromCalsNewNumber);
    EXPECT_EQ(changed.rfind("silently accepted: ", 0), 0u) << changed;

    Device({"contacts", "remove", "2"});
    auto removed = transport.Receive(fromCalsNewNumber);
    EXPECT_EQ(removed.rfind("dismissed: ", 0), 0u) << removed;
    EXPECT_NE(removed.find("sender key -1 (unknown)"), std::string::npos) << removed;
    EXPECT_EQ(transport.Finish(), 0);
}

TEST_F(TransportSystem, BatchStaysConsistentWhileActionsAndModesChangeUnderIt) {
    constexpr int messages = 120;
    std::string batch;
    for (int i = 0; i < messages; ++i) batch += "+1 555 0100\tAda\tmessage " + std::to_string(i) + "\n";
    auto file = device.Root() / "batch.txt";
    velmo::test::WriteFileBytes(file, std::vector<std::uint8_t>(batch.begin(), batch.end()));

    velmo::test::ProcessResult received;
    std::atomic<bool> done{false};
    std::thread transport([&] {
        received =
            velmo::test::RunProcess(BinPath("velmo-device").string(), {"sms", "receive", "--batch", file.string()});
        done = true;
    });
    const char* actions[] = {"dismiss", "silent", "accept"};
    const char* modes[] = {"0", "2", "0", "3"};
    for (int round = 0; !done; ++round) {
        Device({"contacts", "action", "1", actions[round % 3]});
        Setting("ItemsState", modes[round % 4]);
    }
    transport.join();
    ASSERT_EQ(received.exitCode, 0) << received.errors;

    // Whatever each message met, its report agrees with itself, and nothing is lost or counted twice.
    const std::map<std::string, std::string> expected = {
        {"accepted", "event 0x00000000, MRC_NOT_HANDLED; sender key 1 \\(Ada\\); in the Inbox, unread"},
        {"silently accepted",
         "event 0x0000001C, MRC_HANDLED_DONTCONTINUE; (sender key 1 \\(Ada\\); )?replaced by a read copy in "
         "the Inbox"},
        {"dismissed", "event 0x00000008, MRC_HANDLED_DONTCONTINUE; (sender key 1 \\(Ada\\); )?deleted from the Inbox"},
    };
    std::map<std::string, int> outcomes;
    std::regex line("(accepted|silently accepted|dismissed): Ada <\\+1 555 0100> \"message \\d+\": (.*)");
    std::size_t lines = 0;
    for (std::size_t start = 0; start < received.output.size(); ++lines) {
        std::size_t end = received.output.find('\n', start);
        std::string text = received.output.substr(start, end - start);
        start = end + 1;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(text, match, line)) << text;
        // An accepted message in SilentAcceptAll or DismissAll mode is impossible; in UserSettings the key shows.
        EXPECT_TRUE(std::regex_match(match[2].str(), std::regex(expected.at(match[1])))) << text;
        ++outcomes[match[1]];
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(messages));
    EXPECT_EQ(Listed({"inbox"}, std::regex("^Inbox: (\\d+) message")),
              outcomes["accepted"] + outcomes["silently accepted"]);
    EXPECT_EQ(Listed({"blocked"}, std::regex(": (\\d+) blocked message")), outcomes["dismissed"]);
    EXPECT_EQ(Counter("BlockedMsg"), outcomes["dismissed"]);
    EXPECT_EQ(Counter("SilentMsg"), outcomes["silently accepted"]);
}

}  // namespace

TEST_F(TransportSystem, TextRulesWrittenByAnotherProcessDecideForStrangersFromTheNextMessage) {
    Device({"contacts", "action", "unknown", "dismiss"});
    RunningTransport transport;
    const std::string cruise = "+44 20 7946 0958\t\tYou have won a CRUISE";
    EXPECT_EQ(transport.Receive(cruise),
              "dismissed: +44 20 7946 0958 \"You have won a CRUISE\": event 0x00000008, MRC_HANDLED_DONTCONTINUE; "
              "sender key -1 (unknown); deleted from the Inbox");

    Device({"rules", "add", "--pattern", "it's mum", "--action", "accept"});
    Device({"rules", "add", "--pattern", "won.*cruise", "--regex", "--action", "silent"});
    Device({"rules", "add", "--pattern", "(?i)won.*cruise", "--regex", "--action", "accept"});
    EXPECT_EQ(transport.Receive(cruise),
              "accepted: +44 20 7946 0958 \"You have won a CRUISE\": event 0x00000000, MRC_NOT_HANDLED; "
              "sender key -1 (unknown); text rule 3; in the Inbox, unread");
    EXPECT_EQ(transport.Receive("+44 20 7946 0001\t\tHi, IT'S MUM"),
              "accepted: +44 20 7946 0001 \"Hi, IT'S MUM\": event 0x00000000, MRC_NOT_HANDLED; "
              "sender key -1 (unknown); text rule 1; in the Inbox, unread");
    Device({"rules", "move", "3", "1"});
    Device({"rules", "remove", "1"});
    EXPECT_EQ(transport.Receive("+44 20 7946 0002\t\tyou have won a cruise"),
              "silently accepted: +44 20 7946 0002 \"you have won a cruise\": event 0x0000001C, "
              "MRC_HANDLED_DONTCONTINUE; sender key -1 (unknown); text rule 2; replaced by a read copy in the Inbox");
    // A contact keeps the action given to her, whatever her message says.
    EXPECT_EQ(transport.Receive("+1 555 0100\tAda\tyou have won a cruise, it's mum"),
              "accepted: Ada <+1 555 0100> \"you have won a cruise, it's mum\": event 0x00000000, MRC_NOT_HANDLED; "
              "sender key 1 (Ada); in the Inbox, unread");
    EXPECT_EQ(transport.Finish(), 0);
}
