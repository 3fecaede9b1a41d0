#pragma once
// messages.db, the storage under the message store: folders, messages, one row per
// property. Used by MessageStore and the store's interface objects; every failure throws
// std::runtime_error. One connection, used from one thread.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/MessageStore.h"

namespace velmo::device::sqlite {
class Database;
class Transaction;
}  // namespace velmo::device::sqlite

namespace velmo::device {

enum class EntryKind : std::uint8_t { Folder = 1, Message = 2 };

struct EntryRef {
    EntryKind kind;
    std::int64_t row;
};

EntryId MakeEntryId(EntryKind kind, std::int64_t row);
// What the bytes name, when they are an entry identifier of this store.
std::optional<EntryRef> ParseEntryId(const void* bytes, std::size_t size);

// True when the property's value is held in the form its type asks for.
bool HoldsTypeOfTag(const Property& property);

class MessageDatabase {
public:
    struct Folder {
        std::int64_t id;
        std::u16string name;
    };
    struct Message {
        std::int64_t id;
        std::vector<Property> properties;
    };

    // ReadOnly opens an existing file and never writes to it (nor sets it up).
    enum class Access { ReadWrite, ReadOnly };

    explicit MessageDatabase(const std::filesystem::path& file, Access access = Access::ReadWrite);
    ~MessageDatabase();
    MessageDatabase(const MessageDatabase&) = delete;
    MessageDatabase& operator=(const MessageDatabase&) = delete;

    std::vector<Folder> Folders();
    std::optional<Folder> FindFolder(std::u16string_view name);
    std::optional<Folder> FindFolder(std::int64_t id);
    bool MessageExists(std::int64_t message);

    std::int64_t CreateMessage(std::int64_t folder);
    // True when the message was in the folder and is gone now.
    bool DeleteMessage(std::int64_t folder, std::int64_t message);
    // True when the message was in folder `from` and is in `to` now, keeping its row.
    bool MoveMessage(std::int64_t message, std::int64_t from, std::int64_t to);
    // Whether the message is in the folder.
    bool InFolder(std::int64_t folder, std::int64_t message);
    std::vector<Property> ReadProperties(std::int64_t message);
    // Stores the property in place of any with the same identifier; the message must exist.
    void WriteProperty(std::int64_t message, const Property& property);
    // A message that CreateMessage made and whose writer has stored no property yet is
    // unwritten: listings and counts leave it out, so that no reader takes it for a message.
    enum class Unwritten { Hidden, Listed };
    // The folder's messages from row firstMessage on (all of them for 0), oldest first.
    std::vector<Message> ListFolder(std::int64_t folder, std::int64_t firstMessage = 0,
                                    Unwritten unwritten = Unwritten::Hidden);
    std::size_t Count(std::int64_t folder);
    // The folder's messages without the read flag (or without flags at all).
    std::size_t CountUnread(std::int64_t folder);
    // A number that changes whenever another connection commits to the file.
    std::int64_t DataVersion();

    // One write transaction for the object's life; rolled back unless Commit was called.
    class Transaction {
    public:
        explicit Transaction(MessageDatabase& database);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit();

    private:
        MessageDatabase& database_;
        std::unique_ptr<sqlite::Transaction> transaction_;
    };

private:
    class Query;
    [[noreturn]] void Fail(const char* what) const;

    std::unique_ptr<sqlite::Database> db_;
};

}  // namespace velmo::device
