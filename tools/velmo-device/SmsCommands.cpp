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
#include "device/Text.h"
#include "device/VisibleText.h"
#include "handler/Decision.h"
#include "handler/SenderAddress.h"
#include "handler/SenderKey.h"
#include "handler/SpamLookup.h"
#include "handler/TextRuleLookup.h"
#include "tools/velmo-device/Commands.h"
#if VELMO_HAVE_MODEM_MANAGER
#include "tools/modem-manager/ModemManagerListener.h"
#endif

namespace velmo::cli {

namespace {

using device::RuleClientAnswer;
using device::SmsLocation;
using device::SmsOutcome;
using device::ToUtf8;

struct ReceiveOptions {
    std::string from;
    std::string name;
    std::string text;
    std::string time;
    std::string batch;
    bool gammu = false;
    bool quiet = false;
    std::vector<std::string> gammuFiles;
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

// Run by gammu-smsd: each message goes through the transport as it would from the command
// line. A message that cannot be stored ends the command with an error, which gammu-smsd
// logs, and its own copy of the message stays in its inbox.
// Each message through the transport, with its report unless the caller asked for quiet.
class Receiver {
public:
    explicit Receiver(bool quiet) : quiet_(quiet), transport_(store_) {}

    void operator()(const device::IncomingSms& sms) {
        device::SmsReceipt receipt = transport_.Receive(sms, quiet_ ? device::Locating::No : device::Locating::Yes);
        if (!quiet_) Report(sms, receipt);
    }

private:
    bool quiet_;
    device::MessageStore store_;
    device::SmsTransport transport_;
};

void ReceiveFromGammu(const std::vector<std::string>& files, bool quiet) {
    std::vector<device::IncomingSms> messages;
    AsUsage("gammu-smsd's environment",
            [&] { messages = device::ReadGammuMessages(device::ProcessEnvironment, files); });
    Receiver receive(quiet);
    for (const auto& sms : messages) receive(sms);
}

void Receive(const ReceiveOptions& options) {
    if (options.gammu) return ReceiveFromGammu(options.gammuFiles, options.quiet);
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
    Receiver receive(options.quiet);
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
};

void Listen(const ListenOptions& options) {
#if VELMO_HAVE_MODEM_MANAGER
    if (!options.modem.empty() && !IsObjectPath(options.modem)) {
        throw UsageError("--modem " + options.modem +
                         ": not a D-Bus object path, such as /org/freedesktop/ModemManager1/Modem/0");
    }
    device::ModemJournal journal;
    device::MessageStore store;
    device::SmsTransport transport(store);
    ModemIntake intake(journal, store, transport, options.quiet ? device::Locating::No : device::Locating::Yes,
                       [&options](const device::IncomingSms& sms, const device::SmsReceipt& receipt) {
                           if (!options.quiet) Report(sms, receipt);
                       });
    ListenToModemManager(options.modem, intake);
#else
    (void)options;
    throw std::runtime_error("this velmo-device was built without QtDBus, so it cannot listen to ModemManager");
#endif
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
    listen->callback([listening] { Listen(*listening); });
}

}  // namespace velmo::cli
