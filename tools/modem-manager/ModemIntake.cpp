#include "tools/modem-manager/ModemIntake.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "common/BlockedMessageFile.h"
#include "common/SettingsStore.h"
#include "device/Clock.h"
#include "device/Text.h"
#include "device/VisibleText.h"

namespace velmo::cli {

namespace {

using device::ModemJournal;
using device::Property;

constexpr const char16_t* Inbox = u"Inbox";

// A note may carry what a modem or a sender gave, so its control characters are shown.
void Note(const std::string& line) { std::cerr << "velmo-device: " << device::VisibleText(line) << std::endl; }

const Property* Find(const std::vector<Property>& properties, ULONG tag) {
    for (const auto& property : properties) {
        if (property.tag == tag) return &property;
    }
    return nullptr;
}

// Sender, text and delivery time as the transport stored them.
bool SameMessage(const device::StoredMessage& message, const std::vector<Property>& stored) {
    for (ULONG tag : {PR_SENDER_EMAIL_ADDRESS_W, PR_SUBJECT_W, PR_MESSAGE_DELIVERY_TIME}) {
        const Property* found = message.Find(tag);
        const Property* wanted = Find(stored, tag);
        if (found == nullptr || wanted == nullptr || found->value != wanted->value) return false;
    }
    return true;
}

bool IsRead(const device::StoredMessage& message) {
    const Property* flags = message.Find(PR_MESSAGE_FLAGS);
    return flags != nullptr && flags->AsNumber() != nullptr && (*flags->AsNumber() & MSGFLAG_READ) != 0;
}

// Whether Mesages.dat holds the record that dismissing the message appends.
bool BlockedListHolds(const device::IncomingSms& sms, std::uint64_t delivered) {
    SettingsStore settings;
    char16_t path[MAX_PATH] = {};
    std::error_code ignored;
    if (!settings.MessagesPath(path) || !std::filesystem::exists(device::ToUtf8(path), ignored)) return false;
    BlockedMessageFile file;
    file.SetPath(path);
    file.Open();
    const BlockedMessageRecord wanted = MakeBlockedMessageRecord(
        sms.number.c_str(), sms.text.c_str(), sms.name.empty() ? nullptr : sms.name.c_str(), device::Split(delivered));
    // The record sought is among the last appended.
    for (std::uint32_t index = file.Count(); index-- > 0;) {
        BlockedMessageRecord record;
        if (file.ReadAt(index, record) && std::memcmp(&record, &wanted, sizeof record) == 0) return true;
    }
    return false;
}

device::FileTimePoint FromFileTime(std::uint64_t fileTime) {
    const auto epoch = static_cast<std::int64_t>(device::FileTimeOf(device::FileTimePoint{}));
    return device::FileTimePoint{device::FileTimeTicks{static_cast<std::int64_t>(fileTime) - epoch}};
}

}  // namespace

ModemIntake::ModemIntake(device::ModemJournal& journal, device::MessageStore& store, device::SmsTransport& transport,
                         device::Locating locating, Report report)
    : journal_(journal), store_(store), transport_(transport), locating_(locating), report_(std::move(report)) {}

std::string ModemIntake::Take(const std::string& modem, const std::string& message,
                              const device::ModemSmsReading& reading, const Holds& holds) {
    std::string key = reading.key + "@" + message;
    const ModemJournal::Entry* found = journal_.Find(key);
    // The same number, timestamp and text at another path is this message renumbered, unless
    // that path still holds its like; an entry keyed without a path is of an earlier version,
    // and its taken line names the path where it has one.
    for (const std::string& other : found != nullptr ? std::vector<std::string>{} : journal_.KeysOf(reading.key)) {
        const ModemJournal::Entry* like = journal_.Find(other);
        const std::string path =
            other.size() > reading.key.size() ? other.substr(reading.key.size() + 1) : like->message;
        if (path.empty() || path == message || !holds(path)) {
            key = other;
            found = like;
            break;
        }
    }
    if (found != nullptr && found->step == ModemJournal::Step::Filtered) return key;
    std::optional<ModemJournal::Entry> entry;
    if (found != nullptr) entry = *found;
    device::IncomingSms sms = reading.sms;
    // The time it is stored with is the one it is looked for by, should this receiver end.
    if (entry && entry->delivered != 0) {
        sms.deliveryTime = FromFileTime(entry->delivered);
    } else if (!sms.deliveryTime) {
        sms.deliveryTime = FromFileTime(device::ToFileTime(device::Now()));
    }
    key_ = key;
    errno = 0;
    if (!entry && !journal_.Taken(key_, modem, message, device::FileTimeOf(*sms.deliveryTime))) {
        throw std::runtime_error(std::string("the journal cannot be written") +
                                 (errno == ENOSPC ? ": no space left on the device" : ""));
    }
    std::optional<device::SmsReceipt> receipt;
    {
        device::LockFile turn = transport_.TakeTurn();
        receipt = entry ? Finish(*entry, sms) : transport_.ReceiveInTurn(sms, locating_, *this);
    }
    if (receipt) report_(sms, *receipt);
    return key;
}

std::optional<device::SmsReceipt> ModemIntake::Finish(const ModemJournal::Entry& entry,
                                                      const device::IncomingSms& sms) {
    const std::vector<Property> stored = device::SmsProperties(sms);
    std::vector<device::StoredMessage> unread;
    std::vector<device::EntryId> blank;  // messages without a single property, made after it
    bool readCopy = false;
    for (auto& message : store_.ListFolderWithUnwritten(Inbox)) {
        if (message.properties.empty() && !unread.empty()) blank.push_back(message.entryId);
        if (!SameMessage(message, stored)) continue;
        if (IsRead(message)) {
            readCopy = true;
        } else {
            unread.push_back(std::move(message));
        }
    }
    // Once the rule clients may have seen it, a silent accept may have been stopped while it
    // made the read copy: the copy, still empty or not yet marked read, goes, the original stays.
    if (entry.step == ModemJournal::Step::Stored) {
        for (const auto& id : blank) store_.DeleteMessage(Inbox, id);
        for (; unread.size() > 1; unread.pop_back()) store_.DeleteMessage(Inbox, unread.back().entryId);
    }
    const bool dismissed = BlockedListHolds(sms, device::FileTimeOf(*sms.deliveryTime));
    if (!dismissed && !readCopy) {
        if (unread.empty()) return transport_.ReceiveInTurn(sms, locating_, *this);
        // Stored, and either not yet shown to the rule clients or accepted by them, which
        // showing it again leaves as it is.
        if (entry.step == ModemJournal::Step::Taken) Stored(unread.front().entryId);
        return transport_.FilterInTurn(sms, unread.front().entryId, locating_, *this);
    }
    // A rule client dismissed it or accepted it silently and was stopped before it was done:
    // what is left of the original goes, and its counter counts it once.
    for (const auto& message : unread) store_.DeleteMessage(Inbox, message.entryId);
    if (entry.blockedBefore && entry.silentBefore) {
        SettingsStore settings;
        if (dismissed && settings.GetBlockedMsg() == *entry.blockedBefore) {
            settings.SetBlockedMsg(static_cast<std::int16_t>(*entry.blockedBefore + 1));
        }
        if (!dismissed && settings.GetSilentMsg() == *entry.silentBefore) {
            settings.SetSilentMsg(static_cast<std::int16_t>(*entry.silentBefore + 1));
        }
    }
    Filtered();
    return std::nullopt;
}

void ModemIntake::Stored(const device::EntryId& /*message*/) {
    SettingsStore settings;
    if (!journal_.Stored(key_, settings.GetBlockedMsg(), settings.GetSilentMsg())) {
        Note("the journal cannot be written: a message is stored");
    }
}

void ModemIntake::Filtered() {
    if (!journal_.Filtered(key_)) Note("the journal cannot be written: a message is filtered");
}

void ModemIntake::Deleted(const std::string& key) {
    if (!journal_.Deleted(key)) Note("the journal cannot be written: a message is deleted from its modem");
}

}  // namespace velmo::cli
