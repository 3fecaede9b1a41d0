#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "device/MessageStore.h"
#include "device/SmsSending.h"
#include "device/Text.h"
#include "device/VisibleText.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace {

using namespace std::string_view_literals;

velmo::test::ProcessResult Device(const std::vector<std::string>& args) {
    return velmo::test::RunProcess(velmo::test::BinPath("velmo-device").string(), args);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

class SmsCommand : public ::testing::Test {
protected:
    void Setting(const char* name, const char* value) {
        ASSERT_EQ(Device({"registry", "set", "HKLM/Software/Apps/VelmoLight", name, "--dword", value}).exitCode, 0);
    }

    void FourMessages();
    std::filesystem::path Batch() const { return device.Root() / "batch.txt"; }

    velmo::test::TempDevice device;
};

// Ada accepted, Bede silently accepted, unknown senders dismissed: four messages, one of each kind.
// Names are shown first name first, which is not the default.
void SmsCommand::FourMessages() {
    ASSERT_EQ(Device({"install"}).exitCode, 0);
    ASSERT_EQ(Device({"contacts", "add", "--first", "Ada", "--last", "Marsh", "--mobile", "+1 555 0100"}).exitCode, 0);
    Setting("ContactFormat", "1");
    ASSERT_EQ(Device({"contacts", "add", "--first", "Bede", "--mobile", "(555) 010-0102"}).exitCode, 0);
    Setting("ActiveState", "0");
    ASSERT_EQ(Device({"contacts", "action", "2", "silent"}).exitCode, 0);
    ASSERT_EQ(Device({"contacts", "action", "unknown", "dismiss"}).exitCode, 0);
    const std::filesystem::path batch = Batch();
    std::string text =
        "+1 555 0100\tAda\tfirst\t2024-05-06T08:00:00Z\n"
        "+1 555 010 0102\t\tsecond\t2024-05-06T08:01:00Z\n"
        "+44 20 7946 0958\tPrize Desk\tthird\n"
        "ParcelNet\t\tfourth\n";
    velmo::test::WriteFileBytes(batch, std::vector<std::uint8_t>(text.begin(), text.end()));
}

TEST_F(SmsCommand, ReportsWhatTheInstalledHandlerDidWithEachMessage) {
    FourMessages();
    const std::filesystem::path batch = Batch();
    auto result = Device({"sms", "receive", "--batch", batch.string()});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(Lines(result.output),
              (std::vector<std::string>{
                  "accepted: Ada <+1 555 0100> \"first\": event 0x00000000, MRC_NOT_HANDLED; sender key 1 (Ada Marsh); "
                  "in the Inbox, unread",
                  "silently accepted: +1 555 010 0102 \"second\": event 0x0000001C, MRC_HANDLED_DONTCONTINUE; "
                  "sender key 2 (Bede); replaced by a read copy in the Inbox",
                  "dismissed: Prize Desk <+44 20 7946 0958> \"third\": event 0x00000008, MRC_HANDLED_DONTCONTINUE; "
                  "sender key -1 (unknown); deleted from the Inbox",
                  "accepted: ParcelNet \"fourth\": event 0x00000000, MRC_NOT_HANDLED; sender key -2 (undefined); "
                  "in the Inbox, unread",
              }));
    auto inbox = Device({"inbox"});
    EXPECT_EQ(inbox.output.rfind("Inbox: 3 messages\n", 0), 0u) << inbox.output;
    EXPECT_NE(Device({"blocked"}).output.find("Prize Desk <+44 20 7946 0958>  third"), std::string::npos);
}

TEST_F(SmsCommand, QuietPrintsNothingAndDecidesAlike) {
    FourMessages();
    const std::filesystem::path batch = Batch();
    auto result = Device({"sms", "receive", "--quiet", "--batch", batch.string()});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.output, "");
    auto inbox = Device({"inbox"});
    EXPECT_EQ(inbox.output.rfind("Inbox: 3 messages\n", 0), 0u) << inbox.output;
    EXPECT_NE(inbox.output.find("second"), std::string::npos);
    EXPECT_NE(Device({"blocked"}).output.find("Prize Desk <+44 20 7946 0958>  third"), std::string::npos);
}

// What the line says when the settings keep the handler from looking at the sender.
struct StateRow {
    const char* name;
    std::vector<std::pair<const char*, const char*>> settings;
    const char* line;
};

class SmsCommandStates : public SmsCommand, public ::testing::WithParamInterface<StateRow> {};

TEST_P(SmsCommandStates, SayWhyTheSenderDidNotMatter) {
    ASSERT_EQ(Device({"install"}).exitCode, 0);
    device.InstallAppPath();  // as VelmoLight does at its first start, so dismissed messages have a home
    for (const auto& [name, value] : GetParam().settings) Setting(name, value);
    auto result = Device({"sms", "receive", "--from", "555 0100", "--text", "hi", "--time", "2024-05-06T08:00Z"});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.output, GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SmsCommandStates,
    ::testing::Values(
        StateRow{"DismissAll",
                 {{"ActiveState", "0"}, {"ItemsState", "3"}},
                 "dismissed: 555 0100 \"hi\": event 0x00000008, MRC_HANDLED_DONTCONTINUE; deleted from the Inbox\n"},
        StateRow{"DisabledByDefault",
                 {},
                 "accepted: 555 0100 \"hi\": event 0x00000000, MRC_NOT_HANDLED; filtering is off (Disabled); "
                 "in the Inbox, unread\n"},
        StateRow{"OutsideTheSchedule",
                 {{"ActiveState", "1"}, {"WeekDays", "0"}},
                 "accepted: 555 0100 \"hi\": event 0x00000000, MRC_NOT_HANDLED; outside the schedule; "
                 "in the Inbox, unread\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SmsCommand, MessageStaysInTheInboxWhenNoRuleClientTakesIt) {
    auto none = Device({"sms", "receive", "--from", "555 0100", "--name", "Ada", "--text", "one\ntwo"});
    ASSERT_EQ(none.exitCode, 0) << none.errors;
    EXPECT_EQ(none.output,
              "not handled: Ada <555 0100> \"one\\ntwo\": no rule client registered (run velmo-device install); in the "
              "Inbox, unread\n");

    ASSERT_EQ(Device({"registry", "set", "HKLM/Software/Microsoft/Inbox/Svc/SMS/Rules",
                      "{0BADC0DE-0001-0002-0304-05060708090A}", "--dword", "1"})
                  .exitCode,
              0);
    auto failed = Device({"sms", "receive", "--from", "555 0100", "--text", "three"});
    ASSERT_EQ(failed.exitCode, 0) << failed.errors;
    EXPECT_EQ(failed.output,
              "not handled: 555 0100 \"three\": rule client {0BADC0DE-0001-0002-0304-05060708090A} cannot be created "
              "(0x80040154, the class is not registered); in the Inbox, unread\n");
    EXPECT_EQ(Device({"inbox"}).output.rfind("Inbox: 2 messages\n", 0), 0u);
}

TEST_F(SmsCommand, RulesThatCannotBeReadStopTheCommandAndLeaveTheMessageInTheInbox) {
    std::string garbage = "this is no database, though it sits where the registry belongs";
    velmo::test::WriteFileBytes(device.Root() / "registry.db",
                                std::vector<std::uint8_t>(garbage.begin(), garbage.end()));
    auto result = Device({"sms", "receive", "--from", "555 0100", "--text", "hi"});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_NE(result.errors.find("rules could not be read from the registry (file is not a database)"),
              std::string::npos)
        << result.errors;
    EXPECT_EQ(Device({"inbox"}).output.rfind("Inbox: 1 message", 0), 0u);
}

struct BadReceive {
    const char* name;
    std::vector<std::string> args;
    std::string_view batch;  // contents of the batch file, when the row uses one
    const char* error;
    std::size_t received = 0;
};

class SmsCommandRefuses : public SmsCommand, public ::testing::WithParamInterface<BadReceive> {};

TEST_P(SmsCommandRefuses, Arguments) {
    auto args = GetParam().args;
    if (GetParam().batch.data() != nullptr) {
        auto file = device.Root() / "batch.txt";
        std::string text(GetParam().batch);
        velmo::test::WriteFileBytes(file, std::vector<std::uint8_t>(text.begin(), text.end()));
        args.push_back(file.string());
    }
    auto result = Device(args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find(GetParam().error), std::string::npos) << result.errors;
    // A batch is handled as it is read: only the lines before the bad one are received.
    EXPECT_EQ(Lines(result.output).size(), GetParam().received);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SmsCommandRefuses,
    ::testing::Values(
        BadReceive{"NothingGiven", {"sms", "receive"}, {}, "needs --from"},
        BadReceive{"MisspelledReceive",
                   {"sms", "recieve", "--from", "555", "--text", "t"},
                   {},
                   "no command sms recieve; did you mean sms receive?"},
        BadReceive{"TextMissing", {"sms", "receive", "--from", "555"}, {}, "--text"},
        BadReceive{"BadTime",
                   {"sms", "receive", "--from", "555", "--text", "t", "--time", "2024-02-30T10:00Z"},
                   {},
                   "no such day"},
        BadReceive{"BatchAndSingle", {"sms", "receive", "--from", "555", "--text", "t", "--batch"}, "", "excludes"},
        BadReceive{"BatchLineWithoutText", {"sms", "receive", "--batch"}, "555\tA\tok\n555\tB\n", "line 2:", 1},
        BadReceive{"MistypedOptionWithAValue",
                   {"sms", "receive", "--from", "555", "--text", "t", "--frm", "2"},
                   {},
                   "sms receive has no option --frm (did you mean --from?)"},
        BadReceive{"TimeInWords",
                   {"sms", "receive", "--from", "555", "--text", "t", "--time", "yesterday"},
                   {},
                   "the year must be 4 digits, 1601 to 9999, not \"yest\""},
        BadReceive{"BatchMissing",
                   {"sms", "receive", "--batch", "/nonexistent/batch.txt"},
                   {},
                   "/nonexistent/batch.txt: cannot be read: No such file or directory"},
        BadReceive{"BatchIsADirectory", {"sms", "receive", "--batch", "/"}, {}, "/: is a directory"},
        BadReceive{"BatchLineWithNul",
                   {"sms", "receive", "--batch"},
                   "555\tA\tok\n555\tB\0b\tcut\n"sv,
                   "line 2: the name holds a NUL byte",
                   1},
        BadReceive{"ModemNotAnObjectPath",
                   {"sms", "listen", "--modem-manager", "--modem", "Modem/0"},
                   {},
                   "--modem Modem/0: not a D-Bus object path"},
        BadReceive{"TimeBefore1601",
                   {"sms", "receive", "--from", "555", "--text", "t", "--time", "1601-01-01T00:30+01:00"},
                   {},
                   "before 1601"},
        BadReceive{"TimeAfter9999",
                   {"sms", "receive", "--from", "555", "--text", "t", "--time", "9999-12-31T23:59:59-12:00"},
                   {},
                   "after 9999-12-31 23:59:59 UTC"}),
    [](const auto& info) { return std::string(info.param.name); });

// A stranger's name and text, as every command that prints them shows them.
struct StrangerRow {
    const char* name;
    std::string sender;
    std::string text;
    std::string shownSender;
    std::string shownText;
};

class StrangersText : public SmsCommand, public ::testing::WithParamInterface<StrangerRow> {};

TEST_P(StrangersText, NeverReachesTheTerminalRaw) {
    const StrangerRow& row = GetParam();
    ASSERT_EQ(Device({"install"}).exitCode, 0);
    device.InstallAppPath();
    std::vector<velmo::test::ProcessResult> printed;
    printed.push_back(Device({"sms", "receive", "--from", "+15550199", "--name", row.sender, "--text", row.text}));
    printed.push_back(Device({"inbox"}));
    Setting("ActiveState", "0");
    ASSERT_EQ(Device({"contacts", "action", "unknown", "dismiss"}).exitCode, 0);
    printed.push_back(Device({"sms", "receive", "--from", "+15550199", "--name", row.sender, "--text", row.text}));
    printed.push_back(Device({"blocked"}));
    ASSERT_EQ(Device({"rules", "add", "--pattern", row.text, "--action", "dismiss"}).exitCode, 0);
    printed.push_back(Device({"rules", "list"}));
    ASSERT_EQ(Device({"contacts", "add", "--first", row.sender}).exitCode, 0);
    printed.push_back(Device({"contacts", "list"}));
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const std::string& out = printed[i].output;
        EXPECT_EQ(printed[i].exitCode, 0) << i << ": " << printed[i].errors;
        for (const std::string& line : Lines(out)) EXPECT_EQ(velmo::device::VisibleText(line), line) << i;
        EXPECT_NE(out.find(i == 4 ? row.shownText : row.shownSender), std::string::npos) << i << ": " << out;
        if (i < 4) {
            EXPECT_NE(out.find(row.shownText), std::string::npos) << i << ": " << out;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StrangersText,
                         ::testing::Values(StrangerRow{"TitleAndClear", "Eve\x1b]0;x\a", "\x1b]0;pwned\a\x1b[2J",
                                                       "Eve\\e]0;x\\x07", "\\e]0;pwned\\x07\\e[2J"},
                                           StrangerRow{"LinesAndCarriageReturn", "Bank\rEve", "ok\n\rsent",
                                                       "Bank\\rEve", "ok\\n\\rsent"},
                                           StrangerRow{"C1ControlSequence",
                                                       "Ev\xc2\x9b"
                                                       "2Je",
                                                       "\xc2\x9b"
                                                       "31mred\xc2\x85",
                                                       "Ev\\u009b2Je", "\\u009b31mred\\u0085"},
                                           StrangerRow{"BidiOverride", "\u202eevE", "pay \u2066fee\u2069 \u200fnow",
                                                       "\\u202eevE", "pay \\u2066fee\\u2069 \\u200fnow"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The command that --exec runs for each message, and what it leaves.
struct HookRow {
    const char* name;
    std::string exec;  // FILE stands for a file of the test's own
    std::string file;  // what FILE holds afterwards
    const char* errors;
    std::string extra = "";  // a batch line after the four messages
    const char* inbox = "Inbox: 3 messages\n";
    int limit = 30;  // --exec-limit
    int settle = 0;  // seconds to wait before FILE is read, for what should have been ended
};

class SmsCommandHook : public SmsCommand, public ::testing::WithParamInterface<HookRow> {};

TEST_P(SmsCommandHook, SeesEveryMessageInOrderAndNeverStopsTheReceiver) {
    FourMessages();
    std::ofstream(Batch(), std::ios::app | std::ios::binary) << GetParam().extra;
    const std::string file = (device.Root() / "hook.txt").string();
    std::string exec = GetParam().exec;
    for (auto at = exec.find("FILE"); at != std::string::npos; at = exec.find("FILE")) exec.replace(at, 4, file);
    setenv("VELMO_DEVICE_NOW", "1714555815", 1);  // 2024-05-01T09:30:15Z
    auto result = Device({"sms", "receive", "--quiet", "--batch", Batch().string(), "--exec", exec, "--exec-limit",
                          std::to_string(GetParam().limit)});
    unsetenv("VELMO_DEVICE_NOW");
    std::this_thread::sleep_for(std::chrono::seconds(GetParam().settle));
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(velmo::test::ReadFileText(file), GetParam().file);
    EXPECT_NE(result.errors.find(GetParam().errors), std::string::npos) << result.errors;
    EXPECT_EQ(Device({"inbox"}).output.rfind(GetParam().inbox, 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SmsCommandHook,
    ::testing::Values(
        HookRow{"EnvironmentOfEachMessage",
                R"(printf '%s|%s|%s|%s|%s\n' "$SMS_OUTCOME" "$SMS_NUMBER" "$SMS_NAME" "$SMS_TEXT" "$SMS_TIME" >> FILE)",
                "accepted|+1 555 0100|Ada Marsh|first|2024-05-06T08:00:00Z\n"
                "silently accepted|+1 555 010 0102|Bede|second|2024-05-06T08:01:00Z\n"
                "dismissed|+44 20 7946 0958|Prize Desk|third|2024-05-01T09:30:15Z\n"
                "accepted|ParcelNet||fourth|2024-05-01T09:30:15Z\n",
                ""},
        HookRow{"FailureIsOneLineEach", "echo \"$SMS_TEXT\" >> FILE; echo 'no mail server' >&2; echo more >&2; exit 3",
                "first\nsecond\nthird\nfourth\n",
                "velmo-device: --exec for the message from ParcelNet failed (exit status 3): no mail server\n"},
        // The sender's number and name reach mail and HTTP headers; the text keeps its line breaks.
        HookRow{"SenderCannotForgeHeaders", R"(printf '%s|%s|%s\n' "$SMS_NUMBER" "$SMS_NAME" "$SMS_TEXT" >> FILE)",
                "+1 555 0100|Ada Marsh|first\n+1 555 010 0102|Bede|second\n+44 20 7946 0958|Prize Desk|third\n"
                "ParcelNet||fourth\nBank\\rX-Evil: yes|Mum\\e]0;x\\x07\\rBcc: them@example.org|call\rme\n",
                "", "Bank\rX-Evil: yes\tMum\x1b]0;x\a\rBcc: them@example.org\tcall\rme\n", "Inbox: 4 messages\n"},
        // A child that leaves the group, and one whose parent is gone, end with the command.
        HookRow{"AtTheLimitEverythingItStartedEnds",
                "[ \"$SMS_TEXT\" = fourth ] || exit 0; echo started >> FILE; "
                "(setsid sh -c 'sleep 2; echo orphan >> FILE' &); setsid sh -c 'sleep 2; echo child >> FILE' & sleep 9",
                "started\n", "velmo-device: --exec for the message from ParcelNet ran longer than 1 s and was ended\n",
                "", "Inbox: 3 messages\n", 1, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// `sms send` through gammu-smsd's outbox, or through a ModemManager that is not there.
struct SendRow {
    const char* name;
    std::vector<std::vector<std::string>> commands;  // OUTBOX stands for the outbox folder; the last one is checked
    int exitCode;
    const char* said;     // in the output, or in the errors when the command fails
    std::string outbox;   // `inbox --folder Outbox` starts with it
    std::string sent;     // `inbox --folder Sent`
    std::string written;  // the bytes of the file in gammu's outbox, when there is one
    // What a sender killed before the last command recorded of its hand-over, and the file it
    // left (OUTBOX or SENT, holding the message), when it got that far.
    std::string handOver = "";
    std::string left = "";
};

class SmsSend : public SmsCommand, public ::testing::WithParamInterface<SendRow> {};

const std::string kHiInUtf16 = std::string("\xFF\xFEH\0i\0 \0:&", 10);
const std::string kNoneSent = "Sent: 0 messages\n";
const std::string kHiSent = "Sent: 1 message\n  read    2024-05-01 09:30:15  to +1 555 0100  Hi \u263A\n";
const std::vector<std::vector<std::string>> kSendThenRetry = {
    {"sms", "send", "--to", "+1 555 0100", "--text", "Hi \u263A"},
    {"sms", "send", "--retry", "--gammu-outbox", "OUTBOX", "--gammu-sent", "SENT"}};
const std::string kLinking = "gammu\tlink\tOUTBOX\tOUTC20240501_093015_00_+15550100_velmo.txt";

TEST_P(SmsSend, StoresHandsOverAndFilesTheMessage) {
    const auto outbox = device.Root() / "gammu-outbox";
    std::filesystem::create_directory(outbox);
    setenv("VELMO_DEVICE_NOW", "1714555815", 1);
    setenv("TZ", "UTC", 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (device.Root() / "no-bus").string()).c_str(), 1);
    const auto sentFolder = device.Root() / "gammu-sent";
    std::filesystem::create_directory(sentFolder);
    auto place = [&](std::string text) {
        for (auto [mark, folder] : {std::pair{"OUTBOX", outbox}, std::pair{"SENT", sentFolder}}) {
            for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark)) {
                text.replace(at, std::string_view(mark).size(), folder.string());
            }
        }
        return text;
    };
    velmo::test::ProcessResult result;
    for (std::size_t i = 0; i < GetParam().commands.size(); ++i) {
        auto command = GetParam().commands[i];
        for (auto& arg : command) arg = place(arg);
        if (i + 1 == GetParam().commands.size() && !GetParam().handOver.empty()) {
            velmo::device::MessageStore store;
            const auto property = velmo::device::Property::Text(velmo::device::PR_SEND_HANDOVER_W,
                                                                velmo::device::ToUtf16(place(GetParam().handOver)));
            ASSERT_TRUE(store.SetProperties(u"Outbox", store.ListFolder(u"Outbox").at(0).entryId, {&property, 1}));
        }
        if (i + 1 == GetParam().commands.size() && !GetParam().left.empty()) {
            velmo::test::WriteFileBytes(place(GetParam().left), {kHiInUtf16.begin(), kHiInUtf16.end()});
        }
        result = Device(command);
    }
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.errors;
    EXPECT_NE((result.exitCode == 0 ? result.output : result.output + result.errors).find(GetParam().said),
              std::string::npos)
        << result.output << result.errors;
    const std::string listed = Device({"inbox", "--folder", "Outbox"}).output;
    EXPECT_EQ(listed.rfind(GetParam().outbox, 0), 0u) << listed;
    EXPECT_EQ(Device({"inbox", "--folder", "Sent"}).output, GetParam().sent);
    const auto file = outbox / "OUTC20240501_093015_00_+15550100_velmo.txt";
    EXPECT_EQ(velmo::test::ReadFileText(file), GetParam().written);
    // The message once and no temporary file beside it.
    const auto entries = std::distance(std::filesystem::directory_iterator(outbox), {});
    EXPECT_EQ(entries, GetParam().written.empty() ? 0 : 1);
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    unsetenv("TZ");
    unsetenv("VELMO_DEVICE_NOW");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SmsSend,
    ::testing::Values(
        SendRow{"GammuOutboxTakesItAndItIsSent",
                {{"sms", "send", "--to", "+1 555 0100", "--text", "Hi \u263A", "--gammu-outbox", "OUTBOX"}},
                0,
                "sent to +1 555 0100 \"Hi \u263A\": in Sent\n",
                "Outbox: 0 messages\n",
                kHiSent,
                kHiInUtf16},
        SendRow{"WithoutModemItStaysInTheOutboxWithTheReason",
                {{"sms", "send", "--to", "+1 555 0100", "--text", "Hi \u263A"}},
                1,
                "not sent to +1 555 0100 \"Hi \u263A\": ",
                "Outbox: 1 message\n  read    2024-05-01 09:30:15  to +1 555 0100  Hi \u263A  (not sent: "
                "no system bus (",
                kNoneSent,
                ""},
        SendRow{"RetrySendsTheOutboxAgain",
                {{"sms", "send", "--to", "+1 555 0100", "--text", "Hi \u263A"},
                 {"sms", "send", "--retry", "--gammu-outbox", "OUTBOX"}},
                0,
                "sent to +1 555 0100 \"Hi \u263A\": in Sent\n",
                "Outbox: 0 messages\n",
                kHiSent,
                kHiInUtf16},
        SendRow{"GammuNeedsDigits",
                {{"sms", "send", "--to", "Mum", "--text", "Hi", "--gammu-outbox", "OUTBOX"}},
                1,
                "gammu-smsd sends only to a telephone number",
                "Outbox: 1 message\n  read    2024-05-01 09:30:15  to Mum  Hi  (not sent: gammu-smsd sends only to a "
                "telephone number, and \"Mum\" has no digits)\n",
                kNoneSent,
                ""},
        SendRow{"RetryFindsTheFileLinkedBeforeTheKill", kSendThenRetry, 0,
                "sent to +1 555 0100 \"Hi \u263A\": in Sent\n", "Outbox: 0 messages\n", kHiSent, kHiInUtf16, kLinking,
                "OUTBOX/OUTC20240501_093015_00_+15550100_velmo.txt"},
        SendRow{"RetryFindsWhatGammuSentMeanwhile", kSendThenRetry, 0, "sent to +1 555 0100 \"Hi \u263A\": in Sent\n",
                "Outbox: 0 messages\n", kHiSent, "", kLinking, "SENT/OUTC20240501_093015_00_+15550100_velmo.txt"},
        SendRow{"RetryWritesWhatNeverReachedTheOutbox", kSendThenRetry, 0,
                "sent to +1 555 0100 \"Hi \u263A\": in Sent\n", "Outbox: 0 messages\n", kHiSent, kHiInUtf16, kLinking},
        SendRow{"TemporaryFileOfADeadSenderGoes", kSendThenRetry, 0, "sent to +1 555 0100 \"Hi \u263A\": in Sent\n",
                "Outbox: 0 messages\n", kHiSent, kHiInUtf16, "", "OUTBOX/.velmo-4194305.tmp"},
        SendRow{"OutboxFolderMustBeThere",
                {{"sms", "send", "--to", "+1 555 0100", "--text", "Hi", "--gammu-outbox", "OUTBOX/missing"}},
                2,
                "is no directory",
                "Outbox: 0 messages\n",
                kNoneSent,
                ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
