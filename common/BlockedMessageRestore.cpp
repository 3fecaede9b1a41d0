#include "common/BlockedMessageRestore.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "common/ComRef.h"

namespace velmo {

namespace {

// What the SMS transport gives a message it receives.
constexpr char16_t kSmsClass[] = u"IPM.SMStext";
constexpr char16_t kSmsAddressType[] = u"SMS";

// A field of a record read from the file may lack its zero unit; the text then ends with the field.
template <std::size_t N>
std::u16string FieldText(const char16_t (&field)[N]) {
    return {field, static_cast<std::size_t>(std::find(std::begin(field), std::end(field), u'\0') - field)};
}

SPropValue TextValue(ULONG tag, const std::u16string& text) {
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.lpszW = const_cast<WCHAR*>(text.c_str());
    return value;
}

SPropValue LongValue(ULONG tag, ULONG number) {
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.ul = number;
    return value;
}

// The message of the record with its whole text, unread; the sender name only when it has one,
// as the transport does.
bool StoreMessage(IMessage* message, const BlockedMessageRecord& record, const std::u16string& text) {
    const std::u16string address = FieldText(record.senderAddress);
    const std::u16string name = FieldText(record.senderName);
    const std::u16string messageClass = kSmsClass;
    const std::u16string addressType = kSmsAddressType;
    SPropValue delivered{};
    delivered.ulPropTag = PR_MESSAGE_DELIVERY_TIME;
    delivered.Value.ft = record.deliveryTime;
    std::vector<SPropValue> values{
        TextValue(PR_SENDER_EMAIL_ADDRESS_W, address),
        TextValue(PR_SUBJECT_W, text),
        delivered,
        TextValue(PR_MESSAGE_CLASS_W, messageClass),
        LongValue(PR_MESSAGE_FLAGS, 0),
        LongValue(PR_MESSAGE_SIZE, static_cast<ULONG>(text.size() * sizeof(char16_t))),
        TextValue(PR_ADDRTYPE_W, addressType),
    };
    if (!name.empty()) values.push_back(TextValue(PR_SENDER_NAME_W, name));
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = message->SetProps(static_cast<ULONG>(values.size()), values.data(), &problems);
    const bool whole = hr == S_OK && problems == nullptr;
    if (problems != nullptr) MAPIFreeBuffer(problems);
    return whole;
}

std::vector<BYTE> EntryIdOf(IMessage* message) {
    SizedSPropTagArray<1> tags{1, {PR_ENTRYID}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    std::vector<BYTE> id;
    if (message->GetProps(tags, 0, &count, &values) == S_OK && values != nullptr && count == 1 &&
        values[0].ulPropTag == PR_ENTRYID && values[0].Value.bin.lpb != nullptr) {
        id.assign(values[0].Value.bin.lpb, values[0].Value.bin.lpb + values[0].Value.bin.cb);
    }
    if (values != nullptr) MAPIFreeBuffer(values);
    return id;
}

// Takes a restored copy out of the Inbox again; with it gone the restore has done nothing.
void TakeBack(IMAPIFolder* inbox, std::vector<BYTE>& id) {
    if (id.empty()) return;
    SBinary entry{static_cast<ULONG>(id.size()), id.data()};
    ENTRYLIST list{1, &entry};
    inbox->DeleteMessages(&list, 0, nullptr, 0);
}

bool StillHolds(BlockedMessageFile& file, std::uint32_t index, const BlockedMessageRecord& record) {
    BlockedMessageRecord current;
    return file.ReadAt(index, current) && std::memcmp(&current, &record, sizeof record) == 0;
}

}  // namespace

RestoreResult RestoreBlockedMessage(IMsgStore* store, ULONG cbInbox, LPENTRYID inbox, BlockedMessageFile& file,
                                    std::uint32_t index, const BlockedMessageRecord& record,
                                    const std::function<void(RestoreStep)>& afterStep) {
    auto step = [&afterStep](RestoreStep done) {
        if (afterStep) afterStep(done);
    };
    // Checked first so that a stale view writes nothing at all; Remove checks again under the lock.
    if (!StillHolds(file, index, record)) return RestoreResult::FileChanged;
    if (store == nullptr) return RestoreResult::InboxUnavailable;
    ComRef<IUnknown> opened;
    if (FAILED(store->OpenEntry(cbInbox, inbox, &IID_IMAPIFolder, 0, nullptr, opened.Receive())) ||
        opened.Get() == nullptr) {
        return RestoreResult::InboxUnavailable;
    }
    // Asked for IID_IMAPIFolder, the store answers with that interface.
    auto* folder = static_cast<IMAPIFolder*>(opened.Get());
    std::vector<BYTE> copyId;
    {
        ComRef<IMessage> message;
        if (FAILED(folder->CreateMessage(nullptr, 0, message.Receive())) || message.Get() == nullptr) {
            return RestoreResult::InboxUnavailable;
        }
        copyId = EntryIdOf(message.Get());
        step(RestoreStep::MessageCreated);
        if (!StoreMessage(message.Get(), record, file.WholeSubject(record))) {
            TakeBack(folder, copyId);
            return RestoreResult::InboxUnavailable;
        }
        step(RestoreStep::PropertiesStored);
    }
    switch (file.Remove(index, record)) {
        case BlockedMessageFile::RemoveResult::Removed:
            step(RestoreStep::RecordRemoved);
            return RestoreResult::Restored;
        case BlockedMessageFile::RemoveResult::Changed: TakeBack(folder, copyId); return RestoreResult::FileChanged;
        case BlockedMessageFile::RemoveResult::Failed: break;
    }
    TakeBack(folder, copyId);
    return RestoreResult::FileNotWritten;
}

}  // namespace velmo
