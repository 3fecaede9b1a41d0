#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/PhoneDigits.h"
#include "common/SettingsStore.h"
#include "common/Types.h"
#include "device/ErrorText.h"
#include "device/GammuInput.h"
#include "device/SmsInput.h"
#include "device/SmsSending.h"
#include "device/Text.h"
#include "device/VisibleText.h"
#include "handler/Decision.h"
#include "handler/SenderAddress.h"
#include "handler/SenderKey.h"
#include "handler/SpamLookup.h"
#include "handler/TextRuleLookup.h"
#include "tools/velmo-device/Commands.h"
#include "tools/velmo-device/MessageHook.h"
#include "tools/velmo-device/SenderName.h"
#if VELMO_HAVE_MODEM_MANAGER
#include "tools/desktop/DesktopNotifier.h"
#include "tools/modem-manager/ModemManagerListener.h"
#include "tools/modem-manager/ModemManagerSender.h"
#endif

namespace velmo::cli {

namespace {

using device::RuleClientAnswer;
using device::SmsLocation;
using device::SmsOutcome;
using device::ToUtf8;

// What follows a message once the device holds it and the rule clients have answered.
struct FollowOptions {
    bool notify = false;
    std::string exec;
    int execLimit = 30;  // seconds
    std::string spool;   // gammu-smsd's inbox folder, whose copies go once the device holds them
};

struct ReceiveOptions {
    std::string from;
    std::string name;
    std::string text;
    std::string time;
    std::string batch;
    bool gammu = false;
    bool quiet = false;
    std::vector<std::string> gammuFiles;
    FollowOptions follow;
};

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// A sender's text on one line, its control characters shown rather than obeyed.
std::string OneLine(std::u16string_view text) { return device::VisibleText(ToUtf8(text)); }

const char* OutcomeText(SmsOutcome outcome) {
    switch (outcome) {
        case SmsOutcome::Accepted: return "accepted";
        case SmsOutcome::SilentlyAccepted: return "silently accepted";
        case SmsOutcome::Dismissed: return "dismissed";
        case SmsOutcome::NotHandled: return "not handled";
    }
    return "?";
}

const char* LocationText(SmsLocation location) {
    switch (location) {
        case SmsLocation::InboxUnread: return "in the Inbox, unread";
        case SmsLocation::InboxRead: return "in the Inbox, read";
        case SmsLocation::ReadCopyInInbox: return "replaced by a read copy in the Inbox";
        case SmsLocation::Deleted: return "deleted from the Inbox";
    }
    return "?";
}

std::string HandledText(MRCHANDLED handled) {
    switch (handled) {
        case MRC_NOT_HANDLED: return "MRC_NOT_HANDLED";
        case MRC_HANDLED_CONTINUE: return "MRC_HANDLED_CONTINUE";
        case MRC_HANDLED_DONTCONTINUE: return "MRC_HANDLED_DONTCONTINUE";
    }
    return "handled " + std::to_string(handled);
}

std::string AnswerText(const RuleClientAnswer& answer) {
    if (!answer.failedStep) return "event " + Hex(answer.eventType) + ", " + HandledText(answer.handled);
    static const char* const steps[] = {"cannot be created", "failed Initialize", "failed ProcessMessage"};
    return "rule client " + ToUtf8(answer.clsid) + " " + steps[static_cast<int>(*answer.failedStep)] + " (" +
           device::HresultText(answer.result) + ")";
}

// Why the handler, asked about a message while filtering was not active, left it alone
// whatever its sender.
std::string FilteringOffText(std::int16_t activeState) {
    if (activeState == ActiveBySchedule) return "outside the schedule";
    if (activeState == Disabled) return "filtering is off (Disabled)";
    return "filtering is off (ActiveState " + std::to_string(activeState) + " counts as Disabled)";
}

std::string SenderKeyText(std::int32_t key) {
    if (key == UnknownSenderKey) return "sender key -1 (unknown)";
    if (key == UndefinedSenderKey) return "sender key -2 (undefined)";
    const std::string name = ContactListName(key);
    return "sender key " + std::to_string(key) + (name.empty() ? "" : " (" + OneLine(device::ToUtf16(name)) + ")");
}

void Report(const device::IncomingSms& sms, const device::SmsReceipt& receipt) {
    std::string line = std::string(OutcomeText(receipt.outcome)) + ": ";
    line += sms.name.empty() ? OneLine(sms.number) : OneLine(sms.name) + " <" + OneLine(sms.number) + ">";
    line += " \"" + OneLine(sms.text) + "\": ";
    if (receipt.answers.empty()) line += "no rule client registered (run velmo-device install)";
    bool asked = false;
    for (std::size_t i = 0; i < receipt.answers.size(); ++i) {
        line += (i > 0 ? "; " : "") + AnswerText(receipt.answers[i]);
        asked = asked || !receipt.answers[i].failedStep;
    }
    if (asked) {
        // The handler reports neither the program state nor the sender it looked up, so both
        // are worked out again with its own functions right after it answered.
        SettingsStore settings;
        const DecisionSettings decision = ReadDecisionSettings(settings);
        if (!IsFilteringActiveNow(decision, ReadLocalTimeNow())) {
            line += "; " + FilteringOffText(decision.activeState);
        } else if (decision.itemsState == UserSettings) {
            std::int32_t key = ResolveSenderKey(KeepDigits(ExtractSenderAddress(sms.number)));
            line += "; " + SenderKeyText(key);
            // Worked out again the same way: the text rule that decided in the key's stead.
            if (auto rule = LookupTextRule(key, sms.number, [&] { return sms.text; })) {
                line += "; text rule " + std::to_string(rule->number);
            } else if (auto judged = LookupSpam(settings, key, [&] { return sms.text; }); judged && judged->spam) {
                char score[16];
                std::snprintf(score, sizeof score, "%.3f", judged->score);
                line += "; spam score " + std::string(score);
                if (const std::string reason = SpamReasonsFor(sms.text, 1); !reason.empty())
                    line += " (" + reason + ")";
            } else if (judged && judged->heldBack) {
                line += "; held back from the spam action by the one-time-code rule";
            }
        }
    }
    line += "; ";
    line += LocationText(receipt.location);
    std::cout << line << std::endl;
}

// Bad input is a usage error; the messages before a bad batch line have been received.
template <typename Work>
void AsUsage(const std::string& source, Work&& work) {
    try {
        work();
    } catch (const std::invalid_argument& error) {
        throw UsageError(source.empty() ? std::string(error.what()) : source + ": " + error.what());
    }
}

std::string IsoUtc(std::uint64_t fileTime) {
    FILETIME split = device::Split(fileTime);
    SYSTEMTIME st{};
    if (!FileTimeToSystemTime(&split, &st)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return text;
}

// This program, as the notification's action starts its Messaging screen.
std::string MessagingCommand() {
    std::error_code ignored;
    std::string self = std::filesystem::read_symlink("/proc/self/exe", ignored).string();
    if (self.empty()) self = "velmo-device";
    std::string quoted = "'";
    for (char c : self) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "' messaging";
}

// Each message through the transport, with its report unless the caller asked for quiet,
// then what the options ask to follow it.
class Receiver {
public:
    Receiver(bool quiet, const FollowOptions& follow, bool answersActions) : quiet_(quiet), transport_(store_) {
        if (follow.notify) {
#if VELMO_HAVE_MODEM_MANAGER
            notifier_ = std::make_unique<DesktopNotifier>(MessagingCommand(), answersActions);
#else
            (void)answersActions;
            std::cerr << "velmo-device: this velmo-device was built without QtDBus, so messages are not announced "
                         "on the desktop"
                      << std::endl;
#endif
        }
        if (!follow.exec.empty()) {
            hook_ = std::make_unique<MessageHook>(follow.exec, std::chrono::seconds(follow.execLimit));
        }
    }

    void operator()(const device::IncomingSms& sms) {
        if (!Follows()) {
            device::SmsReceipt receipt = transport_.Receive(sms, quiet_ ? device::Locating::No : device::Locating::Yes);
            if (!quiet_) Report(sms, receipt);
            return;
        }
        // Its time fixed now, so that the hook is told the time the device stores.
        device::IncomingSms stamped = sms;
        if (!stamped.deliveryTime) {
            stamped.deliveryTime = std::chrono::time_point_cast<device::FileTimeTicks>(device::Now());
        }
        device::SmsReceipt receipt = transport_.Receive(stamped, device::Locating::Yes);
        if (!quiet_) Report(stamped, receipt);
        Follow(stamped, receipt);
    }

    // For a receiver that stored and filtered the message itself: its line, then what follows it.
    void Received(const device::IncomingSms& sms, const device::SmsReceipt& receipt) {
        if (!quiet_) Report(sms, receipt);
        if (!Follows()) return;
        device::IncomingSms stamped = sms;
        if (!stamped.deliveryTime) {
            stamped.deliveryTime = std::chrono::time_point_cast<device::FileTimeTicks>(device::Now());
        }
        Follow(stamped, receipt);
    }

    // The receiver was told to stop: what follows the messages is not waited for.
    void Stop() {
        if (hook_) hook_->Stop();
    }

    bool Follows() const {
#if VELMO_HAVE_MODEM_MANAGER
        if (notifier_) return true;
#endif
        return hook_ != nullptr;
    }

private:
    void Follow(const device::IncomingSms& sms, const device::SmsReceipt& receipt) {
        const std::u16string name = SenderName(sms.number, sms.name);
#if VELMO_HAVE_MODEM_MANAGER
        // A message accepted silently is already read: announcing it is what it avoids.
        if (notifier_ && receipt.location == SmsLocation::InboxUnread) {
            notifier_->Notify(device::VisibleText(ToUtf8(name.empty() ? sms.number : name)),
                              device::VisibleText(ToUtf8(sms.text)));
        }
#endif
        if (!hook_) return;
        auto plain = [](std::u16string_view text) {
            std::string value = ToUtf8(text);
            std::erase(value, '\0');  // the environment cannot carry it
            return value;
        };
        // The sender's number and name go into mail subjects and HTTP headers: a line break
        // there would start a header of the sender's choosing, so they carry none.
        hook_->Run({{"SMS_OUTCOME", OutcomeText(receipt.outcome)},
                    {"SMS_NUMBER", OneLine(sms.number)},
                    {"SMS_NAME", OneLine(name)},
                    {"SMS_TEXT", plain(sms.text)},
                    {"SMS_TIME", IsoUtc(device::FileTimeOf(*sms.deliveryTime))}});
    }

    bool quiet_;
    device::MessageStore store_;
    device::SmsTransport transport_;
#if VELMO_HAVE_MODEM_MANAGER
    std::unique_ptr<DesktopNotifier> notifier_;
#endif
    std::unique_ptr<MessageHook> hook_;
};

// gammu-smsd's own file of a message, now that the device holds it. Only a file of the
// spool folder, by its name, is removed: never a path the environment could point elsewhere.
void RemoveFromSpool(const std::string& spool, const std::string& file) {
    const std::filesystem::path name = std::filesystem::path(file).filename();
    if (name.empty() || name.string().rfind("IN", 0) != 0) {
        std::cerr << "velmo-device: " << file << " is no file of gammu-smsd's inbox; it stays" << std::endl;
        return;
    }
    std::error_code error;
    const std::filesystem::path path = std::filesystem::path(spool) / name;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error))) {
        std::cerr << "velmo-device: " << path.string() << " is not in gammu-smsd's inbox; nothing removed" << std::endl;
        return;
    }
    if (!std::filesystem::remove(path, error)) {
        std::cerr << "velmo-device: " << path.string() << " cannot be removed (" << error.message() << ")" << std::endl;
    }
}

// Run by gammu-smsd: each message goes through the transport as it would from the command
// line. A message that cannot be stored ends the command with an error, which gammu-smsd
// logs, and its own copy of the message stays in its inbox.
void ReceiveFromGammu(const std::vector<std::string>& files, bool quiet, const FollowOptions& follow) {
    std::error_code ignored;
    if (!follow.spool.empty() && !std::filesystem::is_directory(follow.spool, ignored)) {
        throw UsageError(follow.spool + ": is no directory (gammu-smsd's inboxpath)");
    }
    std::vector<device::IncomingSms> messages;
    AsUsage("gammu-smsd's environment",
            [&] { messages = device::ReadGammuMessages(device::ProcessEnvironment, files); });
    Receiver receive(quiet, follow, false);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        receive(messages[i]);
        if (follow.spool.empty()) continue;
        // One message holds every file (the parts of a long one); else the n-th file is the n-th's.
        if (messages.size() == 1) {
            for (const auto& file : files) RemoveFromSpool(follow.spool, file);
        } else if (i < files.size()) {
            RemoveFromSpool(follow.spool, files[i]);
        }
    }
}

void Receive(const ReceiveOptions& options) {
#if VELMO_HAVE_MODEM_MANAGER
    auto application = options.follow.notify ? QtApplication() : nullptr;
#endif
    if (options.gammu) return ReceiveFromGammu(options.gammuFiles, options.quiet, options.follow);
    std::optional<device::IncomingSms> single;
    std::ifstream batch;
    if (!options.batch.empty()) {
        std::error_code ignored;
        if (std::filesystem::is_directory(options.batch, ignored)) {
            throw UsageError(options.batch + ": is a directory, not a file of messages");
        }
        errno = 0;
        batch.open(options.batch);
        if (!batch) {
            throw UsageError(options.batch + ": cannot be read: " + (errno != 0 ? std::strerror(errno) : "not opened"));
        }
    } else {
        if (options.from.empty()) throw UsageError("sms receive needs --from NUMBER and --text TEXT, or --batch FILE");
        single = device::IncomingSms{device::ToUtf16(options.from), device::ToUtf16(options.name),
                                     device::ToUtf16(options.text), std::nullopt};
        if (!options.time.empty()) AsUsage({}, [&] { single->deliveryTime = device::ParseDeliveryTime(options.time); });
    }
    Receiver receive(options.quiet, options.follow, false);
    if (single) return receive(*single);
    device::SmsBatchReader reader(batch);
    for (;;) {
        std::optional<device::IncomingSms> sms;
        AsUsage(options.batch, [&] { sms = reader.Next(); });
        if (!sms) return;
        receive(*sms);
    }
}

struct ListenOptions {
    bool modemManager = false;
    std::string modem;
    bool quiet = false;
    FollowOptions follow;
};

void Listen(const ListenOptions& options) {
#if VELMO_HAVE_MODEM_MANAGER
    if (!options.modem.empty() && !IsObjectPath(options.modem)) {
        throw UsageError("--modem " + options.modem +
                         ": not a D-Bus object path, such as /org/freedesktop/ModemManager1/Modem/0");
    }
    auto application = QtApplication();  // before the receiver, which it outlives
    Receiver receive(options.quiet, options.follow, true);
    device::ModemJournal journal;
    device::MessageStore store;
    device::SmsTransport transport(store);
    ModemIntake intake(journal, store, transport,
                       options.quiet && !receive.Follows() ? device::Locating::No : device::Locating::Yes,
                       [&receive](const device::IncomingSms& sms, const device::SmsReceipt& receipt) {
                           receive.Received(sms, receipt);
                       });
    ListenToModemManager(options.modem, intake);
    receive.Stop();
#else
    (void)options;
    throw std::runtime_error("this velmo-device was built without QtDBus, so it cannot listen to ModemManager");
#endif
}

struct SendOptions {
    std::string to;
    std::string text;
    bool retry = false;
    bool modemManager = false;
    std::string modem;
    std::string gammuOutbox;
    std::string gammuSent;
};

std::string SendLine(const device::SendReport& report) {
    std::string line = (report.sent ? "sent to " : "not sent to ") + OneLine(report.sms.number) + " \"" +
                       OneLine(report.sms.text) + "\": ";
    return line + (report.sent ? "in Sent" : OneLine(device::ToUtf16(report.reason)) + "; left in the Outbox");
}

void Send(const SendOptions& options) {
    if (!options.retry && options.to.empty())
        throw UsageError("sms send needs --to NUMBER and --text TEXT, or --retry");
    device::ModemSend modem;
#if VELMO_HAVE_MODEM_MANAGER
    auto application = QtApplication();
#endif
    if (!options.gammuOutbox.empty()) {
        std::error_code ignored;
        if (!std::filesystem::is_directory(options.gammuOutbox, ignored)) {
            throw UsageError(options.gammuOutbox + ": is no directory (gammu-smsd's outboxpath)");
        }
        modem = device::GammuOutbox(options.gammuOutbox, options.gammuSent);
    } else {
#if VELMO_HAVE_MODEM_MANAGER
        modem = ModemManagerSend(options.modem);
#else
        modem = [](const device::OutgoingSms&) -> std::string {
            return "this velmo-device was built without QtDBus, so it cannot reach ModemManager";
        };
#endif
    }
    device::MessageStore store;
    std::vector<device::SendReport> reports;
    if (options.retry) {
        reports = device::SendOutbox(store, modem);
        if (reports.empty()) std::cout << "the Outbox is empty" << std::endl;
    } else {
        AsUsage({}, [&] {
            reports.push_back(device::SendSms(
                store, device::OutgoingSms{device::ToUtf16(options.to), device::ToUtf16(options.text)}, modem));
        });
    }
    bool failed = false;
    for (const auto& report : reports) {
        std::cout << SendLine(report) << std::endl;
        failed = failed || !report.sent;
    }
    if (failed) throw std::runtime_error(options.retry ? "not every message was sent" : "the message was not sent");
}

void AddFollowOptions(CLI::App& command, FollowOptions& follow) {
    command.add_flag("--notify", follow.notify,
                     "Announce each message that ends in the Inbox unread on the desktop (org.freedesktop."
                     "Notifications on the session bus)");
    auto* exec =
        command.add_option("--exec", follow.exec,
                           "Run this shell command for every message once it is stored and filtered, with SMS_OUTCOME, "
                           "SMS_NUMBER, SMS_NAME, SMS_TEXT and SMS_TIME in its environment; one at a time, in order, "
                           "each ended after 30 s (--exec-limit) with everything it started; when sms listen is "
                           "stopped, those still queued are not run");
    command.add_option("--exec-limit", follow.execLimit, "Seconds each --exec command may run (default 30)")
        ->check(CLI::Range(1, 86400))
        ->needs(exec);
}

}  // namespace

void AddSmsCommands(CLI::App& app) {
    auto* sms = app.add_subcommand("sms", "The SMS transport");
    sms->require_subcommand(1);
    auto* receive = sms->add_subcommand(
        "receive", "Receive SMS: store each in the Inbox, hand it to the registered rule clients, print what happened");
    auto options = std::make_shared<ReceiveOptions>();
    auto* from =
        receive->add_option("--from", options->from, "The sender's number (or name, for a sender without one)");
    auto* name = receive->add_option("--name", options->name, "The sender's name, as the network gives it");
    auto* text = receive->add_option("--text", options->text, "The message text");
    auto* time = receive->add_option("--time", options->time,
                                     "Delivery time in ISO 8601, such as 2024-05-01T09:30:00Z (default: now)");
    auto* batch = receive->add_option("--batch", options->batch,
                                      "A file (or pipe) of one message a line: number, name, text and an optional "
                                      "time, separated by tabs; each message is handled alone, as it is read");
    text->needs(from);
    from->needs(text);
    for (auto* single : {from, name, text, time}) batch->excludes(single);
    auto* gammu = receive->add_flag("--gammu", options->gammu,
                                    "Run as gammu-smsd's RunOnReceive: the messages come from its environment, "
                                    "their delivery times from the IN... file names it passes");
    receive->add_flag("--quiet", options->quiet,
                      "Print nothing for each message, for scripts: the report's second look at the sender is "
                      "skipped; errors are still printed");
    receive->add_option("FILE", options->gammuFiles, "With --gammu: the file names gammu-smsd passes")->needs(gammu);
    receive
        ->add_option("--spool", options->follow.spool,
                     "With --gammu: gammu-smsd's inbox folder (inboxpath), from which its own file of each message "
                     "is removed once the device holds the message")
        ->needs(gammu);
    AddFollowOptions(*receive, options->follow);
    for (auto* other : {from, name, text, time, batch}) gammu->excludes(other);
    receive->callback([options] { Receive(*options); });

    auto* listen = sms->add_subcommand(
        "listen",
        "Receive the SMS of a modem as they arrive, until SIGTERM or SIGINT: each is received as by "
        "sms receive, and only then deleted from the modem");
    auto listening = std::make_shared<ListenOptions>();
    listen
        ->add_flag("--modem-manager", listening->modemManager,
                   "From ModemManager on the system bus (or the bus DBUS_SYSTEM_BUS_ADDRESS names)")
        ->required();
    listen->add_option("--modem", listening->modem,
                       "Only this modem, by its object path, such as /org/freedesktop/ModemManager1/Modem/0 "
                       "(default: every modem that has messaging)");
    listen->add_flag("--quiet", listening->quiet, "Print nothing for each message; errors are still printed");
    AddFollowOptions(*listen, listening->follow);
    listen->callback([listening] { Listen(*listening); });

    auto* send = sms->add_subcommand(
        "send",
        "Send an SMS: stored in the Outbox, handed to the modem, moved to Sent once sent, left in the Outbox with "
        "the reason otherwise");
    auto sending = std::make_shared<SendOptions>();
    auto* to = send->add_option("--to", sending->to, "The recipient's number");
    auto* body = send->add_option("--text", sending->text, "The message text");
    auto* retry = send->add_flag("--retry", sending->retry, "Send every message of the Outbox again, oldest first");
    to->needs(body);
    body->needs(to);
    retry->excludes(to);
    retry->excludes(body);
    auto* viaModemManager = send->add_flag("--modem-manager", sending->modemManager,
                                           "Through ModemManager on the system bus (the default)");
    auto* modemPath = send->add_option("--modem", sending->modem,
                                       "Through this modem of ModemManager, by its object path (default: the first "
                                       "that has messaging)");
    auto* outbox = send->add_option("--gammu-outbox", sending->gammuOutbox,
                                    "Through gammu-smsd: a file in its outbox folder (outboxpath), as "
                                    "gammu-smsd-inject writes it");
    outbox->excludes(viaModemManager);
    outbox->excludes(modemPath);
    send->add_option("--gammu-sent", sending->gammuSent,
                     "gammu-smsd's sent folder (sentsmspath), where --retry looks for a message that a sender cut "
                     "short may have handed over already")
        ->needs(outbox);
    send->callback([sending] { Send(*sending); });
}

}  // namespace velmo::cli
