#include "tools/messaging/MessageRows.h"

#include <algorithm>

#include "common/BlockedMessageMove.h"
#include "common/ComRef.h"
#include "common/PropValues.h"

namespace velmo::messaging {

namespace {

// The recipient, as a message written on the device names it.
constexpr ULONG kRecipientTag = 0x0E04001F;
// Why the last attempt to send a message of the Outbox failed.
constexpr ULONG kSendFailureTag = PROP_TAG(PT_UNICODE, 0x8101);

std::u16string TextOf(const device::StoredMessage& message, ULONG tag) {
    const device::Property* property = message.Find(tag);
    const std::u16string* text = property != nullptr ? property->AsText() : nullptr;
    return text != nullptr ? *text : std::u16string();
}

std::int64_t NumberOf(const device::StoredMessage& message, ULONG tag) {
    const device::Property* property = message.Find(tag);
    const std::int64_t* number = property != nullptr ? property->AsNumber() : nullptr;
    return number != nullptr ? *number : 0;
}

bool Open(IMsgStore* store, const device::EntryId& id, const IID& interface, ComRef<IUnknown>& opened) {
    auto* bytes = const_cast<std::uint8_t*>(id.data());
    return store != nullptr &&
           SUCCEEDED(store->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(bytes), &interface, 0,
                                      nullptr, opened.Receive())) &&
           opened.Get() != nullptr;
}

}  // namespace

std::vector<MessageRow> LoadRows(const device::MessageStore& store, std::u16string_view folder) {
    std::vector<device::StoredMessage> messages = store.ListFolder(folder);
    std::vector<MessageRow> rows;
    rows.reserve(messages.size());
    // The store lists the oldest arrival first: walked backwards, a stable sort keeps the
    // later arrival first among messages delivered at the same moment.
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        MessageRow row;
        row.entryId = std::move(it->entryId);
        row.address = TextOf(*it, PR_SENDER_EMAIL_ADDRESS_W);
        if (row.address.empty()) row.address = TextOf(*it, kRecipientTag);
        row.name = TextOf(*it, PR_SENDER_NAME_W);
        row.text = TextOf(*it, PR_SUBJECT_W);
        row.time = static_cast<std::uint64_t>(NumberOf(*it, PR_MESSAGE_DELIVERY_TIME));
        if (row.time == 0) row.time = static_cast<std::uint64_t>(NumberOf(*it, PR_LAST_MODIFICATION_TIME));
        row.failure = TextOf(*it, kSendFailureTag);
        row.read = (NumberOf(*it, PR_MESSAGE_FLAGS) & MSGFLAG_READ) != 0;
        rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const MessageRow& a, const MessageRow& b) { return a.time > b.time; });
    return rows;
}

std::optional<std::size_t> FindRow(const std::vector<MessageRow>& rows, const device::EntryId& message) {
    auto found = std::find_if(rows.begin(), rows.end(), [&](const MessageRow& row) { return row.entryId == message; });
    if (found == rows.end()) return std::nullopt;
    return static_cast<std::size_t>(found - rows.begin());
}

bool SetRead(IMsgStore* store, const device::EntryId& message, bool read) {
    ComRef<IUnknown> opened;
    if (!Open(store, message, IID_IMessage, opened)) return false;
    auto* object = static_cast<IMessage*>(opened.Get());
    PropValues flags;
    if (!flags.Read(object, {PR_MESSAGE_FLAGS})) return false;
    const SPropValue* stored = flags.Get(0, PR_MESSAGE_FLAGS);
    SPropValue value{};
    value.ulPropTag = PR_MESSAGE_FLAGS;
    ULONG before = stored != nullptr ? stored->Value.ul : 0;
    value.Value.ul = read ? (before | MSGFLAG_READ) : (before & ~MSGFLAG_READ);
    return SUCCEEDED(object->SetProps(1, &value, nullptr));
}

bool DeleteMessage(IMsgStore* store, const device::EntryId& folder, const device::EntryId& message) {
    ComRef<IUnknown> opened;
    if (!Open(store, folder, IID_IMAPIFolder, opened)) return false;
    auto* bytes = const_cast<std::uint8_t*>(message.data());
    return DeleteFolderEntry(static_cast<IMAPIFolder*>(opened.Get()), static_cast<ULONG>(message.size()),
                             reinterpret_cast<LPENTRYID>(bytes));
}

}  // namespace velmo::messaging
