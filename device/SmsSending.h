#pragma once
// Sending an SMS as a handheld does: the message is written to the Outbox first, handed to
// the modem, and moved to Sent once the modem has taken it; one the modem could not send
// stays in the Outbox with the reason, to be sent again. The modem is whatever drives it
// (ModemManager, gammu-smsd), given as a function.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "device/MessageStore.h"

namespace velmo::device {

// The recipient, as an outgoing message names it.
inline constexpr ULONG PR_DISPLAY_TO_W = 0x0E04001F;
// Why the last attempt to send a message of the Outbox failed, for a person to read.
inline constexpr ULONG PR_SEND_FAILURE_W = PROP_TAG(PT_UNICODE, 0x8101);
// How far the hand-over of a message of the Outbox to the modem got, in the route's own words.
inline constexpr ULONG PR_SEND_HANDOVER_W = PROP_TAG(PT_UNICODE, 0x8102);
inline constexpr ULONG MSGFLAG_UNSENT = 0x00000008;

struct OutgoingSms {
    std::u16string number;
    std::u16string text;
};

// What a route records of a hand-over before each step it takes, kept with the message in the
// Outbox: a sender killed half-way leaves the next one enough to look up what the modem already
// has and to finish the hand-over instead of making it a second time.
class HandOver {
public:
    HandOver(MessageStore& store, EntryId entry, std::string recorded);
    // What the last sender recorded; empty when nothing was handed over yet.
    const std::string& Recorded() const { return recorded_; }
    // Returns once the record is written; throws std::runtime_error when it cannot be.
    void Record(const std::string& step);

private:
    MessageStore& store_;
    EntryId entry_;
    std::string recorded_;
};

// Hands one message to the modem: empty when the modem has sent it, otherwise why not,
// in words (no modem, refused). Throws nothing a caller must catch: a throw counts as why.
using ModemSend = std::function<std::string(const OutgoingSms&, HandOver&)>;

struct SendReport {
    EntryId entryId;
    OutgoingSms sms;
    bool sent = false;
    std::string reason;  // why not, when not sent
};

// The properties of a message the person wrote, as the Outbox keeps it: read, unsent.
std::vector<Property> OutgoingProperties(const OutgoingSms& sms, std::uint64_t writtenAt);

// Stores the message in the Outbox and hands it to the modem. Throws std::invalid_argument
// for a message without a recipient, std::runtime_error when the Outbox cannot be written
// (then nothing was handed to the modem).
SendReport SendSms(MessageStore& store, const OutgoingSms& sms, const ModemSend& modem);

// Hands every message of the Outbox to the modem again, oldest first.
std::vector<SendReport> SendOutbox(MessageStore& store, const ModemSend& modem);

// gammu-smsd's outbox folder as gammu-smsd-inject fills it: one file per message, named
// OUTC<date>_<time>_<serial>_<recipient>_velmo.txt (local time), holding the text in
// UTF-16 with a byte-order mark, written as a file without a name and linked into place so
// that gammu-smsd never reads half of it and a kill leaves nothing behind. The modem has it
// once the file is there. A message whose hand-over was cut short is looked for in the
// outbox and in sentFolder (gammu-smsd's sentsmspath, where it moves what it sent; none when
// empty) before it is written again.
ModemSend GammuOutbox(std::filesystem::path directory, std::filesystem::path sentFolder = {});

}  // namespace velmo::device
