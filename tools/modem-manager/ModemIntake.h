#pragma once
// Brings each message a modem received onto the device once, whatever moment the receiver is
// killed at: every step is written to the journal before the receiver goes on to the next, and
// a message the journal shows unfinished is looked for where the earlier receiver may have left
// it (the Inbox, the blocked list) and finished from there instead of being stored again.

#include <functional>
#include <optional>
#include <string>

#include "device/MessageStore.h"
#include "device/ModemJournal.h"
#include "device/ModemSms.h"
#include "device/SmsTransport.h"

namespace velmo::cli {

class ModemIntake : private device::ReceiveSteps {
public:
    using Report = std::function<void(const device::IncomingSms&, const device::SmsReceipt&)>;

    // report hears of every message the rule clients were shown; locating as for Receive.
    ModemIntake(device::ModemJournal& journal, device::MessageStore& store, device::SmsTransport& transport,
                device::Locating locating, Report report);

    // Whether the modem still has a message like the one in hand at this object path.
    using Holds = std::function<bool(const std::string& message)>;

    // Stores and filters the message read at modem's message path unless an earlier receiver
    // did, finishing what it left half done; once it returns the message may be deleted from
    // the modem, and Deleted told so with the key it gives. A journal entry of the same number,
    // timestamp and text at another path is this message only where holds says that path no
    // longer has its like (ModemManager numbers its messages afresh when it starts again);
    // otherwise the network delivered the same text twice. Throws std::runtime_error when it
    // cannot, and then the message stays there.
    std::string Take(const std::string& modem, const std::string& message, const device::ModemSmsReading& reading,
                     const Holds& holds);
    // The message of this key (from Take) is deleted from its modem.
    void Deleted(const std::string& key);

private:
    void Stored(const device::EntryId& message) override;
    void Filtered() override;
    // In the transport's turn: what an earlier receiver left of the message, finished; the
    // receipt when the rule clients were shown it now.
    std::optional<device::SmsReceipt> Finish(const device::ModemJournal::Entry& entry, const device::IncomingSms& sms);

    device::ModemJournal& journal_;
    device::MessageStore& store_;
    device::SmsTransport& transport_;
    device::Locating locating_;
    Report report_;
    std::string key_;  // of the message in hand
};

}  // namespace velmo::cli
