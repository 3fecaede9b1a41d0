#pragma once
// The SMS transport: stores each incoming SMS in the Inbox as a handheld does, then
// hands it to every registered rule client in turn (created through COM, Initialize,
// ProcessMessage) until one answers MRC_HANDLED_DONTCONTINUE, and reports what came of it.
// As on a handheld, each registered client is created and initialised once and then asked
// about every message; the registration is read again for every message, so a client
// registered, disabled or removed meanwhile is taken up or released before the next one.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/Clock.h"
#include "device/LockFile.h"
#include "device/MailRuleClient.h"
#include "device/MessageStore.h"

namespace velmo::device {

// Below HKEY_LOCAL_MACHINE: one value per rule client, named by its class identifier,
// a REG_DWORD that is not 0 while the client is enabled.
inline constexpr const char16_t* SmsRulesKeyPath = u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules";

struct IncomingSms {
    std::u16string number;
    std::u16string name;  // empty: the message carries no sender name
    std::u16string text;
    std::optional<FileTimePoint> deliveryTime;  // the device's now when absent
};

// What one rule client made of the message, or the step at which it failed.
struct RuleClientAnswer {
    enum class Step { Create, Initialize, ProcessMessage };

    std::u16string clsid;                  // as registered
    std::optional<Step> failedStep;        // empty when every step succeeded
    HRESULT result = S_OK;                 // of the failed step, else of ProcessMessage
    ULONG eventType = 0;                   // as ProcessMessage left it (0 before the call)
    MRCHANDLED handled = MRC_NOT_HANDLED;  // as ProcessMessage left it
};

enum class SmsOutcome { Accepted, SilentlyAccepted, Dismissed, NotHandled };

// Where the message is after the rule clients.
enum class SmsLocation { InboxUnread, InboxRead, ReadCopyInInbox, Deleted };

struct SmsReceipt {
    EntryId entryId;                        // of the message as it was stored
    std::vector<RuleClientAnswer> answers;  // in the order the clients were asked
    // From the last client that answered: NotHandled when none did (no client registered,
    // or each failed), in which case the message stays in the Inbox as it arrived.
    SmsOutcome outcome = SmsOutcome::NotHandled;
    SmsLocation location = SmsLocation::InboxUnread;  // InboxUnread when not asked for
};

// Whether Receive looks for the message once the clients are done, for a report.
enum class Locating { Yes, No };

// Told of each step of one message as it happens, inside the transport's turn, for a caller
// that records how far a message got.
class ReceiveSteps {
public:
    virtual ~ReceiveSteps() = default;
    // The message is in the Inbox; no rule client has seen it yet.
    virtual void Stored(const EntryId& message) = 0;
    // Every rule client has answered.
    virtual void Filtered() = 0;
};

// The device-wide turn that the transport holds while the rule clients work on a message,
// for a command that must act only between messages; throws when it cannot be taken.
LockFile TakeTransportTurn();

// The enabled rule clients' class identifiers, as the transport's rules key lists them.
std::vector<std::u16string> RegisteredRuleClients();

class SmsTransport {
public:
    // Initialises COM on the calling thread, which must be the one that calls Receive.
    explicit SmsTransport(MessageStore& store);
    // Releases the rule clients, then COM.
    ~SmsTransport();
    SmsTransport(const SmsTransport&) = delete;
    SmsTransport& operator=(const SmsTransport&) = delete;

    // Throws, storing nothing, when the device's file system has too little room left to file
    // a message whole, and when the message cannot be stored.
    SmsReceipt Receive(const IncomingSms& sms, Locating locating = Locating::Yes);

    // The device-wide turn that Receive waits for, for a caller that looks at the store and
    // acts in one turn with ReceiveInTurn and FilterInTurn; throws when it cannot be taken.
    LockFile TakeTurn();
    // Receive, in a turn the caller holds, telling steps.
    SmsReceipt ReceiveInTurn(const IncomingSms& sms, Locating locating, ReceiveSteps& steps);
    // A message already in the Inbox, stored as sms and not yet seen by the rule clients,
    // handed to them as Receive would, in a turn the caller holds; steps hears Filtered only.
    SmsReceipt FilterInTurn(const IncomingSms& sms, const EntryId& message, Locating locating, ReceiveSteps& steps);

private:
    void AskAll(SmsReceipt& receipt);
    RuleClientAnswer Ask(const std::u16string& clsid, EntryId message, EntryId folder);
    // The client of clsid, created and initialised when it is not yet; null after a failed step.
    IMailRuleClient* Client(const std::u16string& clsid, RuleClientAnswer& answer);
    // Releases the clients that are no longer registered.
    void KeepOnly(const std::vector<std::u16string>& registered);
    SmsLocation Locate(const EntryId& message, const std::vector<Property>& stored) const;

    MessageStore& store_;
    std::u16string lockPath_;                             // the device-wide turn of transport.lock
    std::map<std::u16string, IMailRuleClient*> clients_;  // each holds one reference
};

// The properties that a handheld gives a received SMS.
std::vector<Property> SmsProperties(const IncomingSms& sms);

}  // namespace velmo::device
