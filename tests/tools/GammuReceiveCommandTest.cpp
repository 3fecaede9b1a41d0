// `sms receive --gammu` as gammu-smsd's RunOnReceive runs it: the message in the
// environment, the files backend's names as arguments.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/SmallDisk.h"
#include "support/TempDevice.h"

namespace {

// Sets variables for the child processes of one test and takes them away after it.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const std::map<std::string, std::string>& variables) {
        for (const auto& [name, value] : variables) {
            const char* old = std::getenv(name.c_str());
            previous_.emplace(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : previous_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

private:
    std::map<std::string, std::optional<std::string>> previous_;
};

struct GammuRow {
    const char* name;
    std::map<std::string, std::string> environment;
    std::vector<std::string> args;  // after "sms receive"
    bool deviceUsable;
    int exitCode;
    std::string output;  // standard output, whole
    const char* error;   // found in standard error
    std::string inbox;   // what `inbox` lists afterwards
    // With --spool: the spool holds the files named in args, and these stay there afterwards.
    std::optional<std::vector<std::string>> spoolKeeps = std::nullopt;
    // A device of InstallWithContacts on a file system of its own with this much room left.
    std::optional<unsigned> freeKb = std::nullopt;
};

// Contacts 1 (accepted) and 2 (silent), strangers dismissed. On a nearly full disk a contact's
// message was filed as a stranger's (the address book could not be opened), a silent one's twice.
void InstallWithContacts() {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"install"},
          {"contacts", "add", "--first", "Ada", "--mobile", "+1 555 0100"},
          {"contacts", "add", "--first", "Bea", "--mobile", "+1 555 0111"},
          {"registry", "set", "HKLM/Software/Apps/VelmoLight", "ActiveState", "--dword", "0"},
          {"contacts", "action", "1", "accept"},
          {"contacts", "action", "2", "silent"},
          {"contacts", "action", "unknown", "dismiss"}}) {
        auto result = velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), args);
        ASSERT_EQ(result.exitCode, 0) << result.errors;
    }
}

class GammuReceive : public ::testing::TestWithParam<GammuRow> {
protected:
    velmo::test::TempDevice device;
};

TEST_P(GammuReceive, PutsTheMessageThroughTheTransport) {
    const auto& row = GetParam();
    auto environment = row.environment;
    environment["TZ"] = "UTC";
    // A device root below a plain file cannot be made, so nothing can be stored.
    auto blocker = device.Root() / "not-a-directory";
    velmo::test::WriteFileBytes(blocker, {'x'});
    if (!row.deviceUsable) environment["VELMO_DEVICE"] = (blocker / "device").string();
    std::unique_ptr<velmo::test::SmallDisk> disk;
    if (row.freeKb) {
        disk = std::make_unique<velmo::test::SmallDisk>(device.Root() / "small", "128m");
        if (!disk->whyNot.empty()) GTEST_SKIP() << "cannot mount a tmpfs: " << disk->whyNot;
        setenv("VELMO_DEVICE", (device.Root() / "small").c_str(), 1);
        ASSERT_NO_FATAL_FAILURE(InstallWithContacts());
        ASSERT_TRUE(disk->LeaveFree(*row.freeKb * 1024));
    }

    const auto spool = device.Root() / "gammu-inbox";
    std::vector<std::string> args = {"sms", "receive"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    if (row.spoolKeeps) {
        std::filesystem::create_directory(spool);
        for (const auto& arg : row.args) {
            if (arg.starts_with("IN")) velmo::test::WriteFileBytes(spool / arg, {'t'});
        }
        velmo::test::WriteFileBytes(spool / "IN20240501_000000_00_+15550199_00.txt", {'t'});  // another message's
        args.insert(args.end(), {"--spool", spool.string()});
    }
    velmo::test::ProcessResult result;
    {
        ScopedEnvironment scoped(environment);
        result = velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), args);
    }
    EXPECT_EQ(result.exitCode, row.exitCode) << result.errors;
    EXPECT_EQ(result.output, row.output);
    EXPECT_NE(result.errors.find(row.error), std::string::npos) << result.errors;
    if (disk) disk->Free();
    auto inbox = velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), {"inbox"});
    EXPECT_EQ(inbox.output, row.inbox);
    if (row.spoolKeeps) {
        std::vector<std::string> kept;
        for (const auto& entry : std::filesystem::directory_iterator(spool)) kept.push_back(entry.path().filename());
        std::sort(kept.begin(), kept.end());
        EXPECT_EQ(kept, *row.spoolKeeps);
    }
}

const std::string Part1(153, 'a');
const std::string Part2(147, 'b');
const std::map<std::string, std::string> LongMessage = {
    {"SMS_MESSAGES", "2"}, {"DECODED_PARTS", "1"}, {"SMS_1_NUMBER", "+15550100"},
    {"SMS_1_TEXT", Part1}, {"SMS_1_CLASS", "-1"},  {"SMS_2_NUMBER", "+15550100"},
    {"SMS_2_TEXT", Part2}, {"SMS_2_CLASS", "-1"},  {"DECODED_1_TEXT", Part1 + Part2}};
const std::vector<std::string> LongMessageFiles = {"IN20240501_093015_00_+15550100_00.txt",
                                                   "IN20240501_093015_00_+15550100_01.txt"};

// One message from number, and the name of gammu-smsd's file of it.
std::map<std::string, std::string> Single(const std::string& number) {
    return {{"SMS_MESSAGES", "1"}, {"SMS_1_NUMBER", number}, {"SMS_1_TEXT", "See you"}};
}
std::string SingleFile(const std::string& number) { return "IN20240501_093015_00_" + number + "_00.txt"; }
const std::string Ada = "+15550100";
const std::string Bea = "+15550111";
const std::string OtherFile = "IN20240501_000000_00_+15550199_00.txt";  // another message's, in the spool

INSTANTIATE_TEST_SUITE_P(
    Rows, GammuReceive,
    ::testing::Values(GammuRow{"LongMessageIsOne",
                               LongMessage,
                               {"--gammu", LongMessageFiles[0], LongMessageFiles[1]},
                               true,
                               0,
                               "not handled: +15550100 \"" + Part1 + Part2 +
                                   "\": no rule client registered (run velmo-device install); in the Inbox, unread\n",
                               "",
                               "Inbox: 1 message\n  unread  2024-05-01 09:30:15  +15550100  " + Part1 + Part2 + "\n"},
                      GammuRow{"MalformedEnvironmentStoresNothing",
                               {{"SMS_MESSAGES", "2"}, {"SMS_1_NUMBER", "5"}},
                               {"--gammu"},
                               true,
                               2,
                               "",
                               "velmo-device: gammu-smsd's environment: SMS_2_NUMBER is not set",
                               "Inbox: 0 messages\n"},
                      GammuRow{"DeviceThatCannotStoreFails",
                               LongMessage,
                               {"--gammu", LongMessageFiles[0]},
                               false,
                               1,
                               "",
                               "not-a-directory",
                               "Inbox: 0 messages\n"},
                      GammuRow{"SpoolLosesGammusCopiesOnceStored",
                               LongMessage,
                               {"--gammu", LongMessageFiles[0], LongMessageFiles[1]},
                               true,
                               0,
                               "not handled: +15550100 \"" + Part1 + Part2 +
                                   "\": no rule client registered (run velmo-device install); in the Inbox, unread\n",
                               "",
                               "Inbox: 1 message\n  unread  2024-05-01 09:30:15  +15550100  " + Part1 + Part2 + "\n",
                               std::vector<std::string>{"IN20240501_000000_00_+15550199_00.txt"}},
                      GammuRow{"SpoolKeepsWhatCouldNotBeStored",
                               LongMessage,
                               {"--gammu", LongMessageFiles[0], LongMessageFiles[1]},
                               false,
                               1,
                               "",
                               "not-a-directory",
                               "Inbox: 0 messages\n",
                               std::vector<std::string>{"IN20240501_000000_00_+15550199_00.txt", LongMessageFiles[0],
                                                        LongMessageFiles[1]}},
                      GammuRow{"NearlyFullDiskKeepsGammusCopy",
                               Single(Ada),
                               {"--gammu", SingleFile(Ada)},
                               true,
                               1,
                               "",
                               "no space left on the device",
                               "Inbox: 0 messages\n",
                               std::vector<std::string>{OtherFile, SingleFile(Ada)},
                               128},
                      GammuRow{"NearlyFullDiskKeepsSilentContactsCopy",
                               Single(Bea),
                               {"--gammu", SingleFile(Bea)},
                               true,
                               1,
                               "",
                               "no space left on the device",
                               "Inbox: 0 messages\n",
                               std::vector<std::string>{OtherFile, SingleFile(Bea)},
                               176},
                      GammuRow{"FileNamesOnlyWithGammu",
                               {},
                               {LongMessageFiles[0]},
                               true,
                               2,
                               "",
                               "requires --gammu",
                               "Inbox: 0 messages\n"},
                      GammuRow{"GammuAloneOrNothing",
                               LongMessage,
                               {"--gammu", "--from", "555", "--text", "t"},
                               true,
                               2,
                               "",
                               "excludes",
                               "Inbox: 0 messages\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
