#include "device/MessageStore.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "device/Clock.h"
#include "device/DeviceRoot.h"
#include "device/MessageDatabase.h"
#include "device/MsgStoreObjects.h"
#include "device/Text.h"

namespace velmo::device {

Property Property::Time(ULONG tag, FILETIME time) { return {tag, static_cast<std::int64_t>(Join(time))}; }

const Property* StoredMessage::Find(ULONG tag) const {
    for (const auto& property : properties) {
        if (PROP_ID(property.tag) == PROP_ID(tag)) return &property;
    }
    return nullptr;
}

MessageStore::MessageStore()
    : database_(std::make_shared<MessageDatabase>(EnsureDeviceRoot() / "messages.db")),
      store_(NewMsgStore(database_)) {}

namespace {

std::shared_ptr<MessageDatabase> OpenReadOnly() {
    auto file = DeviceRoot() / "messages.db";
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        return std::make_shared<MessageDatabase>(file, MessageDatabase::Access::ReadOnly);
    }
    return std::make_shared<MessageDatabase>(":memory:");
}

}  // namespace

MessageStore::MessageStore(ReadOnlyTag) : database_(OpenReadOnly()), store_(NewMsgStore(database_)) {}

MessageStore::~MessageStore() { store_->Release(); }

std::vector<std::u16string> MessageStore::FolderNames() const {
    std::vector<std::u16string> names;
    for (auto& folder : database_->Folders()) names.push_back(std::move(folder.name));
    return names;
}

std::int64_t MessageStore::FolderId(std::u16string_view folder) const {
    auto found = database_->FindFolder(folder);
    if (!found) throw std::invalid_argument("no folder named " + ToUtf8(folder));
    return found->id;
}

EntryId MessageStore::FolderEntryId(std::u16string_view folder) const {
    return MakeEntryId(EntryKind::Folder, FolderId(folder));
}

EntryId MessageStore::CreateMessage(std::u16string_view folder, std::span<const Property> properties) {
    std::int64_t folderId = FolderId(folder);
    MessageDatabase::Transaction transaction(*database_);
    std::int64_t message = database_->CreateMessage(folderId);
    for (const auto& property : properties) database_->WriteProperty(message, property);
    transaction.Commit();
    return MakeEntryId(EntryKind::Message, message);
}

namespace {

std::vector<StoredMessage> Stored(std::vector<MessageDatabase::Message> rows) {
    std::vector<StoredMessage> messages;
    messages.reserve(rows.size());
    for (auto& row : rows) messages.push_back({MakeEntryId(EntryKind::Message, row.id), std::move(row.properties)});
    return messages;
}

}  // namespace

std::vector<StoredMessage> MessageStore::ListFolder(std::u16string_view folder) const {
    return Stored(database_->ListFolder(FolderId(folder)));
}

std::vector<StoredMessage> MessageStore::ListFolderWithUnwritten(std::u16string_view folder) const {
    return Stored(database_->ListFolder(FolderId(folder), 0, MessageDatabase::Unwritten::Listed));
}

std::int64_t MessageStore::MessageRow(const EntryId& message) const {
    auto entry = ParseEntryId(message.data(), message.size());
    if (!entry || entry->kind != EntryKind::Message) throw std::invalid_argument("not a message entry identifier");
    return entry->row;
}

std::vector<StoredMessage> MessageStore::ListFolderFrom(std::u16string_view folder, const EntryId& message) const {
    return Stored(database_->ListFolder(FolderId(folder), MessageRow(message)));
}

bool MessageStore::SetProperties(std::u16string_view folder, const EntryId& message,
                                 std::span<const Property> properties) {
    std::int64_t folderId = FolderId(folder);
    std::int64_t row = MessageRow(message);
    MessageDatabase::Transaction transaction(*database_);
    if (!database_->InFolder(folderId, row)) return false;
    for (const auto& property : properties) database_->WriteProperty(row, property);
    transaction.Commit();
    return true;
}

bool MessageStore::DeleteMessage(std::u16string_view folder, const EntryId& message) {
    return database_->DeleteMessage(FolderId(folder), MessageRow(message));
}

bool MessageStore::MoveMessage(const EntryId& message, std::u16string_view from, std::u16string_view to) {
    return database_->MoveMessage(MessageRow(message), FolderId(from), FolderId(to));
}

std::size_t MessageStore::Count(std::u16string_view folder) const { return database_->Count(FolderId(folder)); }

std::size_t MessageStore::CountUnread(std::u16string_view folder) const {
    return database_->CountUnread(FolderId(folder));
}

std::int64_t MessageStore::ChangeCount() const { return database_->DataVersion(); }

}  // namespace velmo::device
