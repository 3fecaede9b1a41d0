#include "device/SmsTransport.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "device/DeviceRoot.h"
#include "device/LockFile.h"
#include "device/Registry.h"
#include "device/Text.h"

namespace velmo::device {

namespace {

constexpr const char16_t* Inbox = u"Inbox";

bool IsRead(const StoredMessage& message) {
    const Property* flags = message.Find(PR_MESSAGE_FLAGS);
    return flags != nullptr && flags->AsNumber() != nullptr && (*flags->AsNumber() & MSGFLAG_READ) != 0;
}

bool SameValue(const StoredMessage& message, const std::vector<Property>& stored, ULONG tag) {
    const Property* found = message.Find(tag);
    for (const auto& property : stored) {
        if (property.tag == tag) return found != nullptr && found->value == property.value;
    }
    return found == nullptr;
}

// A read message with the sender, text and delivery time of the one stored: what a
// rule client leaves when it accepts a message silently.
bool IsReadCopy(const StoredMessage& message, const std::vector<Property>& stored) {
    return IsRead(message) && SameValue(message, stored, PR_SENDER_EMAIL_ADDRESS_W) &&
           SameValue(message, stored, PR_SUBJECT_W) && SameValue(message, stored, PR_MESSAGE_DELIVERY_TIME);
}

std::runtime_error RulesUnreadable(LONG rc) {
    std::string why = RegistryDatabaseError();
    return std::runtime_error("the SMS transport's rules could not be read from the registry (" +
                              (why.empty() ? "error " + std::to_string(rc) : why) +
                              "); the message stays in the Inbox, unfiltered");
}

// A message is taken only while the device has room to file it whole: its copy in the Inbox,
// a rule client's blocked record or read copy, the counters and the databases' logs. With less,
// one of those steps could fail after another was taken and leave the message in two places.
constexpr std::uint64_t RoomForAMessage = 512 * 1024;

void RequireRoom() {
    struct statvfs disk {};
    const std::filesystem::path root = DeviceRoot();
    if (::statvfs(root.c_str(), &disk) != 0) return;  // the store's own errors will tell
    const std::uint64_t free = static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
    if (free >= RoomForAMessage) return;
    throw std::runtime_error("no space left on the device: " + std::to_string(free / 1024) + " KB free in " +
                             root.string() + ", and a message needs " + std::to_string(RoomForAMessage / 1024) +
                             " KB to be filed whole");
}

SmsOutcome OutcomeOf(const std::vector<RuleClientAnswer>& answers) {
    const RuleClientAnswer* last = nullptr;
    for (const auto& answer : answers) {
        if (!answer.failedStep) last = &answer;
    }
    if (last == nullptr) return SmsOutcome::NotHandled;
    if (last->handled == MRC_NOT_HANDLED) return SmsOutcome::Accepted;
    if ((last->eventType & fnevObjectCreated) != 0) return SmsOutcome::SilentlyAccepted;
    if ((last->eventType & fnevObjectDeleted) != 0) return SmsOutcome::Dismissed;
    return SmsOutcome::Accepted;
}

}  // namespace

std::vector<Property> SmsProperties(const IncomingSms& sms) {
    FILETIME delivered = Split(sms.deliveryTime ? FileTimeOf(*sms.deliveryTime) : ToFileTime(Now()));
    std::vector<Property> properties{
        Property::Text(PR_SENDER_EMAIL_ADDRESS_W, sms.number),
        Property::Text(PR_SUBJECT_W, sms.text),
        Property::Time(PR_MESSAGE_DELIVERY_TIME, delivered),
        Property::Text(PR_MESSAGE_CLASS_W, u"IPM.SMStext"),
        Property::Number(PR_MESSAGE_FLAGS, 0),  // unread
        Property::Number(PR_MESSAGE_SIZE, static_cast<std::int64_t>(sms.text.size() * sizeof(char16_t))),
        Property::Text(PR_ADDRTYPE_W, u"SMS"),
    };
    if (!sms.name.empty()) properties.push_back(Property::Text(PR_SENDER_NAME_W, sms.name));
    return properties;
}

namespace {

// A handheld has one transport and hands over one message at a time; every process that
// receives on this device, or acts on a numbered message, waits its turn here, so that no
// two race one another over the files and counters they share.
LockFile TurnAt(const std::u16string& lockPath) {
    LockFile turn;
    if (!turn.Lock(lockPath)) {
        throw std::runtime_error("cannot take the SMS transport's lock in " + DeviceRoot().string());
    }
    return turn;
}

std::u16string TurnLockPath() { return ToUtf16((EnsureDeviceRoot() / "transport.lock").string()); }

}  // namespace

LockFile TakeTransportTurn() { return TurnAt(TurnLockPath()); }

std::vector<std::u16string> RegisteredRuleClients() {
    std::vector<std::u16string> clients;
    std::vector<RegistryValue> values;
    // Only a missing key means that no client is registered; a registry that cannot be
    // read must not pass for one in which none is.
    LONG rc = ReadRegistryValues(HKEY_LOCAL_MACHINE, SmsRulesKeyPath, values);
    if (rc == ERROR_FILE_NOT_FOUND) return clients;
    if (rc != ERROR_SUCCESS) throw RulesUnreadable(rc);
    for (const auto& value : values) {
        // A name too long for the platform's 256-unit buffer, or a value that is not a
        // DWORD, is no enabled client, and the walk goes on past it.
        if (value.name.size() >= 256 || value.type != REG_DWORD || value.data.size() != sizeof(DWORD)) continue;
        DWORD enabled = 0;
        std::memcpy(&enabled, value.data.data(), sizeof enabled);
        if (enabled != 0) clients.push_back(value.name);
    }
    return clients;
}

SmsTransport::SmsTransport(MessageStore& store) : store_(store), lockPath_(TurnLockPath()) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) throw std::runtime_error("COM cannot be initialised");
}

SmsTransport::~SmsTransport() {
    KeepOnly({});
    CoUninitialize();
}

void SmsTransport::KeepOnly(const std::vector<std::u16string>& registered) {
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (std::find(registered.begin(), registered.end(), it->first) != registered.end()) {
            ++it;
            continue;
        }
        it->second->Release();
        it = clients_.erase(it);
    }
}

LockFile SmsTransport::TakeTurn() { return TurnAt(lockPath_); }

void SmsTransport::AskAll(SmsReceipt& receipt) {
    EntryId folder = store_.InboxEntryId();
    const std::vector<std::u16string> registered = RegisteredRuleClients();
    KeepOnly(registered);
    for (const auto& clsid : registered) {
        receipt.answers.push_back(Ask(clsid, receipt.entryId, folder));
        const auto& answer = receipt.answers.back();
        if (!answer.failedStep && answer.handled == MRC_HANDLED_DONTCONTINUE) break;
    }
    receipt.outcome = OutcomeOf(receipt.answers);
}

SmsReceipt SmsTransport::Receive(const IncomingSms& sms, Locating locating) {
    SmsReceipt receipt;
    std::vector<Property> stored = SmsProperties(sms);
    LockFile turn = TakeTurn();
    RequireRoom();
    receipt.entryId = store_.CreateMessage(Inbox, stored);
    AskAll(receipt);
    turn.Unlock();
    if (locating == Locating::Yes) receipt.location = Locate(receipt.entryId, stored);
    return receipt;
}

SmsReceipt SmsTransport::ReceiveInTurn(const IncomingSms& sms, Locating locating, ReceiveSteps& steps) {
    SmsReceipt receipt;
    std::vector<Property> stored = SmsProperties(sms);
    RequireRoom();
    receipt.entryId = store_.CreateMessage(Inbox, stored);
    steps.Stored(receipt.entryId);
    AskAll(receipt);
    steps.Filtered();
    if (locating == Locating::Yes) receipt.location = Locate(receipt.entryId, stored);
    return receipt;
}

SmsReceipt SmsTransport::FilterInTurn(const IncomingSms& sms, const EntryId& message, Locating locating,
                                      ReceiveSteps& steps) {
    SmsReceipt receipt;
    receipt.entryId = message;
    RequireRoom();
    AskAll(receipt);
    steps.Filtered();
    if (locating == Locating::Yes) receipt.location = Locate(receipt.entryId, SmsProperties(sms));
    return receipt;
}

IMailRuleClient* SmsTransport::Client(const std::u16string& clsid, RuleClientAnswer& answer) {
    if (auto found = clients_.find(clsid); found != clients_.end()) return found->second;
    auto fail = [&answer](RuleClientAnswer::Step step, HRESULT result) -> IMailRuleClient* {
        answer.failedStep = step;
        answer.result = result;
        return nullptr;
    };
    auto classId = ParseGuid(clsid);
    if (!classId) return fail(RuleClientAnswer::Step::Create, REGDB_E_CLASSNOTREG);
    IMailRuleClient* client = nullptr;
    HRESULT result = CoCreateInstance(*classId, nullptr, CLSCTX_INPROC_SERVER, IID_IMailRuleClient,
                                      reinterpret_cast<void**>(&client));
    if (FAILED(result)) return fail(RuleClientAnswer::Step::Create, result);
    if (client == nullptr) return fail(RuleClientAnswer::Step::Create, E_POINTER);
    MRCACCESS access = MRC_ACCESS_NONE;
    result = client->Initialize(store_.Interface(), &access);
    if (FAILED(result)) {
        // Not kept: the next message tries the client afresh.
        client->Release();
        return fail(RuleClientAnswer::Step::Initialize, result);
    }
    clients_.emplace(clsid, client);
    return client;
}

// The identifiers are passed as copies: a rule client receives writable bytes.
RuleClientAnswer SmsTransport::Ask(const std::u16string& clsid, EntryId message, EntryId folder) {
    RuleClientAnswer answer;
    answer.clsid = clsid;
    IMailRuleClient* client = Client(clsid, answer);
    if (client == nullptr) return answer;
    HRESULT result =
        client->ProcessMessage(store_.Interface(), static_cast<ULONG>(message.size()),
                               reinterpret_cast<LPENTRYID>(message.data()), static_cast<ULONG>(folder.size()),
                               reinterpret_cast<LPENTRYID>(folder.data()), &answer.eventType, &answer.handled);
    answer.result = result;
    if (FAILED(result)) answer.failedStep = RuleClientAnswer::Step::ProcessMessage;
    return answer;
}

SmsLocation SmsTransport::Locate(const EntryId& message, const std::vector<Property>& stored) const {
    std::vector<StoredMessage> since = store_.ListFolderFrom(Inbox, message);
    if (!since.empty() && since.front().entryId == message) {
        return IsRead(since.front()) ? SmsLocation::InboxRead : SmsLocation::InboxUnread;
    }
    for (const auto& later : since) {
        if (IsReadCopy(later, stored)) return SmsLocation::ReadCopyInInbox;
    }
    return SmsLocation::Deleted;
}

}  // namespace velmo::device
