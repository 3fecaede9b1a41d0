#pragma once
// The device's message store in plain C++: messages.db in the device root, with its
// folders (Inbox, Outbox, Sent), messages and their properties. The SMS transport and
// the command line use this; the deliverables reach the same store through Interface().
// Failures throw std::runtime_error; a wrong argument throws std::invalid_argument.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "device/Mapi.h"

namespace velmo::device {

class MessageDatabase;

using EntryId = std::vector<std::uint8_t>;

// One property as the store keeps it: PT_SHORT, PT_LONG, PT_BOOLEAN and PT_SYSTIME as a
// number, PT_UNICODE as text, PT_STRING8 and PT_BINARY as bytes.
struct Property {
    ULONG tag = 0;
    std::variant<std::int64_t, std::u16string, std::vector<std::uint8_t>> value;

    static Property Number(ULONG tag, std::int64_t number) { return {tag, number}; }
    static Property Text(ULONG tag, std::u16string text) { return {tag, std::move(text)}; }
    static Property Time(ULONG tag, FILETIME time);

    // The value in the given form, or nullptr when it is held in another.
    const std::int64_t* AsNumber() const { return std::get_if<std::int64_t>(&value); }
    const std::u16string* AsText() const { return std::get_if<std::u16string>(&value); }
};

struct StoredMessage {
    EntryId entryId;
    std::vector<Property> properties;

    // The property with the tag's identifier, or nullptr.
    const Property* Find(ULONG tag) const;
};

class MessageStore {
public:
    // Opens DeviceRoot()/messages.db, creating the device root and the database when missing.
    MessageStore();
    // Opens messages.db without writing to it or creating anything, for a person who may
    // read the device but not write it; a device without one has the three empty folders.
    struct ReadOnlyTag {};
    static constexpr ReadOnlyTag ReadOnly{};
    explicit MessageStore(ReadOnlyTag);
    ~MessageStore();
    MessageStore(const MessageStore&) = delete;
    MessageStore& operator=(const MessageStore&) = delete;

    // The store as the platform shapes it; borrowed (AddRef to keep it beyond this object).
    IMsgStore* Interface() const { return store_; }

    std::vector<std::u16string> FolderNames() const;
    // The entry identifier of a folder by its name (case-insensitive).
    EntryId FolderEntryId(std::u16string_view folder) const;
    EntryId InboxEntryId() const { return FolderEntryId(u"Inbox"); }

    // A new message in the folder with the given properties; returns its entry identifier.
    EntryId CreateMessage(std::u16string_view folder, std::span<const Property> properties);
    // The folder's messages, oldest first, each with all its properties. A message that the
    // platform's CreateMessage made is in them once its writer has stored its properties,
    // never before, so that no reader takes a message being written for an empty one.
    std::vector<StoredMessage> ListFolder(std::u16string_view folder) const;
    // ListFolder with the messages still without a property: what a receiver that was stopped
    // while a rule client made its copy looks for.
    std::vector<StoredMessage> ListFolderWithUnwritten(std::u16string_view folder) const;
    // The folder's messages from the given message on (it first, when it is still there):
    // what became of a message, without reading the whole folder.
    std::vector<StoredMessage> ListFolderFrom(std::u16string_view folder, const EntryId& message) const;
    std::size_t Count(std::u16string_view folder) const;
    // The folder's messages that are not marked read.
    std::size_t CountUnread(std::u16string_view folder) const;
    // A number that differs from the last one whenever another process or connection has
    // changed the store since: what a screen that shows the store asks before reading it anew.
    std::int64_t ChangeCount() const;

    // Each answers false, changing nothing, when the message is not in the folder (any
    // more): another program may have moved or deleted it since it was listed.
    // Stores the properties in place of those with the same identifiers, in one transaction.
    bool SetProperties(std::u16string_view folder, const EntryId& message, std::span<const Property> properties);
    bool DeleteMessage(std::u16string_view folder, const EntryId& message);
    // The message keeps its entry identifier in its new folder.
    bool MoveMessage(const EntryId& message, std::u16string_view from, std::u16string_view to);

private:
    std::int64_t FolderId(std::u16string_view folder) const;
    std::int64_t MessageRow(const EntryId& message) const;

    std::shared_ptr<MessageDatabase> database_;
    IMsgStore* store_ = nullptr;
};

}  // namespace velmo::device
