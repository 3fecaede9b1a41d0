#include "device/MessageDatabase.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "device/Sqlite.h"

namespace velmo::device {

namespace {

// An entry identifier: the platform's four flag bytes (zero), this store's tag, the kind
// of object and its row number, little-endian.
constexpr std::uint8_t kStoreTag[4] = {'V', 'M', 'S', 0x01};
constexpr std::size_t kEntryIdSize = 4 + sizeof kStoreTag + 1 + 8;

// Text is kept in UTF-16 so that every unit the deliverables store comes back unchanged;
// the encoding is taken before the first table, and with the log's mode stays in the file.
constexpr const char* kSettings =
    "PRAGMA encoding='UTF-16le';"
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "PRAGMA foreign_keys=ON;";
constexpr const char* kReady = "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'properties'";
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS folders(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE);"
    // AUTOINCREMENT: the identifier of a deleted message never names a later one.
    "CREATE TABLE IF NOT EXISTS messages(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " folder INTEGER NOT NULL REFERENCES folders(id));"
    "CREATE INDEX IF NOT EXISTS messages_folder ON messages(folder, id);"
    "CREATE TABLE IF NOT EXISTS properties(message INTEGER NOT NULL REFERENCES messages(id) ON DELETE CASCADE,"
    " id INTEGER NOT NULL, type INTEGER NOT NULL, value, PRIMARY KEY(message, id)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO folders(id, name) VALUES (1, 'Inbox'), (2, 'Outbox'), (3, 'Sent');";

}  // namespace

EntryId MakeEntryId(EntryKind kind, std::int64_t row) {
    EntryId id(kEntryIdSize, 0);
    std::memcpy(id.data() + 4, kStoreTag, sizeof kStoreTag);
    id[8] = static_cast<std::uint8_t>(kind);
    auto value = static_cast<std::uint64_t>(row);
    for (int i = 0; i < 8; ++i) id[9 + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return id;
}

std::optional<EntryRef> ParseEntryId(const void* bytes, std::size_t size) {
    if (bytes == nullptr || size != kEntryIdSize) return std::nullopt;
    const auto* id = static_cast<const std::uint8_t*>(bytes);
    static constexpr std::uint8_t kNoFlags[4] = {};
    if (std::memcmp(id, kNoFlags, 4) != 0 || std::memcmp(id + 4, kStoreTag, sizeof kStoreTag) != 0) {
        return std::nullopt;
    }
    if (id[8] != static_cast<std::uint8_t>(EntryKind::Folder) &&
        id[8] != static_cast<std::uint8_t>(EntryKind::Message)) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= static_cast<std::uint64_t>(id[9 + i]) << (8 * i);
    auto row = static_cast<std::int64_t>(value);
    if (row <= 0) return std::nullopt;
    return EntryRef{static_cast<EntryKind>(id[8]), row};
}

bool HoldsTypeOfTag(const Property& property) {
    switch (PROP_TYPE(property.tag)) {
        case PT_SHORT:
        case PT_LONG:
        case PT_BOOLEAN:
        case PT_SYSTIME: return property.AsNumber() != nullptr;
        case PT_UNICODE: return property.AsText() != nullptr;
        case PT_STRING8:
        case PT_BINARY: return std::holds_alternative<std::vector<std::uint8_t>>(property.value);
        default: return false;
    }
}

// A cached statement in use; any failure throws.
class MessageDatabase::Query {
public:
    Query(MessageDatabase& database, const char* sql) : database_(database), statement_(*database.db_, sql) {
        if (statement_.Status() != SQLITE_OK) database_.Fail("prepare");
    }

    Query& Bind(int index, std::int64_t number) { return Check(statement_.Bind(index, number)); }
    Query& Bind(int index, std::u16string_view text) { return Check(statement_.Bind(index, text)); }
    Query& Bind(int index, const std::vector<std::uint8_t>& bytes) {
        return Check(statement_.BindBlob(index, bytes.data(), bytes.size()));
    }
    Query& Bind(int index, const Property& property) {
        std::visit([&](const auto& value) { Bind(index, value); }, property.value);
        return *this;
    }

    // True while there is a row to read.
    bool Step() {
        int rc = statement_.Step();
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) database_.Fail("step");
        return false;
    }

    bool IsNull(int column) const { return statement_.Type(column) == SQLITE_NULL; }
    std::int64_t Number(int column) const { return statement_.Number(column); }
    std::u16string Text(int column) const { return statement_.Text(column); }
    Property Value(ULONG tag, int column) const {
        switch (statement_.Type(column)) {
            case SQLITE_TEXT: return {tag, Text(column)};
            case SQLITE_BLOB: return {tag, statement_.Blob(column)};
            default: return {tag, Number(column)};
        }
    }

private:
    Query& Check(sqlite::Statement& statement) {
        if (statement.Status() != SQLITE_OK) database_.Fail("bind");
        return *this;
    }

    MessageDatabase& database_;
    sqlite::Statement statement_;
};

MessageDatabase::MessageDatabase(const std::filesystem::path& file, Access access)
    : db_(std::make_unique<sqlite::Database>()) {
    int rc = db_->Open(file, access == Access::ReadOnly ? sqlite::Access::ReadOnly : sqlite::Access::ReadWrite);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot open " + file.string() + ": " + sqlite::Describe(rc));
    bool setUp = true;
    if (access == Access::ReadOnly && db_->IsSetUp(kReady, setUp) != SQLITE_OK) Fail("reading the schema");
    if (!setUp) {
        // A process stopped before the tables were made left a file that holds no message yet.
        rc = db_->Open(":memory:", sqlite::Access::ReadWrite);
        if (rc != SQLITE_OK) throw std::runtime_error("cannot open an empty store: " + sqlite::Describe(rc));
        access = Access::ReadWrite;
    }
    if (access == Access::ReadWrite && db_->SetUp(kSettings, kReady, kSchema) != SQLITE_OK) Fail("setting up");
}

MessageDatabase::~MessageDatabase() = default;

void MessageDatabase::Fail(const char* what) const { sqlite::Throw(*db_, std::string("messages.db: ") + what); }

std::vector<MessageDatabase::Folder> MessageDatabase::Folders() {
    Query query(*this, "SELECT id, name FROM folders ORDER BY id");
    std::vector<Folder> folders;
    while (query.Step()) folders.push_back({query.Number(0), query.Text(1)});
    return folders;
}

std::optional<MessageDatabase::Folder> MessageDatabase::FindFolder(std::u16string_view name) {
    Query query(*this, "SELECT id, name FROM folders WHERE name = ?");
    query.Bind(1, name);
    if (!query.Step()) return std::nullopt;
    return Folder{query.Number(0), query.Text(1)};
}

std::optional<MessageDatabase::Folder> MessageDatabase::FindFolder(std::int64_t id) {
    Query query(*this, "SELECT id, name FROM folders WHERE id = ?");
    query.Bind(1, id);
    if (!query.Step()) return std::nullopt;
    return Folder{query.Number(0), query.Text(1)};
}

bool MessageDatabase::MessageExists(std::int64_t message) {
    Query query(*this, "SELECT 1 FROM messages WHERE id = ?");
    query.Bind(1, message);
    return query.Step();
}

std::int64_t MessageDatabase::CreateMessage(std::int64_t folder) {
    Query query(*this, "INSERT INTO messages(folder) VALUES (?)");
    query.Bind(1, folder).Step();
    return db_->LastInsertRowid();
}

bool MessageDatabase::DeleteMessage(std::int64_t folder, std::int64_t message) {
    Query query(*this, "DELETE FROM messages WHERE id = ? AND folder = ?");
    query.Bind(1, message).Bind(2, folder).Step();
    return db_->Changes() > 0;
}

bool MessageDatabase::MoveMessage(std::int64_t message, std::int64_t from, std::int64_t to) {
    Query query(*this, "UPDATE messages SET folder = ? WHERE id = ? AND folder = ?");
    query.Bind(1, to).Bind(2, message).Bind(3, from).Step();
    return db_->Changes() > 0;
}

bool MessageDatabase::InFolder(std::int64_t folder, std::int64_t message) {
    Query query(*this, "SELECT 1 FROM messages WHERE id = ? AND folder = ?");
    query.Bind(1, message).Bind(2, folder);
    return query.Step();
}

std::vector<Property> MessageDatabase::ReadProperties(std::int64_t message) {
    Query query(*this, "SELECT id, type, value FROM properties WHERE message = ?");
    query.Bind(1, message);
    std::vector<Property> properties;
    while (query.Step()) {
        auto tag = PROP_TAG(static_cast<ULONG>(query.Number(1)), static_cast<ULONG>(query.Number(0)));
        properties.push_back(query.Value(tag, 2));
    }
    return properties;
}

void MessageDatabase::WriteProperty(std::int64_t message, const Property& property) {
    if (!HoldsTypeOfTag(property)) throw std::invalid_argument("property value does not match its type");
    Query query(*this, "INSERT OR REPLACE INTO properties(message, id, type, value) VALUES (?, ?, ?, ?)");
    query.Bind(1, message)
        .Bind(2, static_cast<std::int64_t>(PROP_ID(property.tag)))
        .Bind(3, static_cast<std::int64_t>(PROP_TYPE(property.tag)))
        .Bind(4, property)
        .Step();
}

std::vector<MessageDatabase::Message> MessageDatabase::ListFolder(std::int64_t folder, std::int64_t firstMessage,
                                                                  Unwritten unwritten) {
    Query query(*this, unwritten == Unwritten::Listed
                           ? "SELECT m.id, p.id, p.type, p.value FROM messages m LEFT JOIN properties p"
                             " ON p.message = m.id WHERE m.folder = ? AND m.id >= ? ORDER BY m.id"
                           : "SELECT m.id, p.id, p.type, p.value FROM messages m JOIN properties p"
                             " ON p.message = m.id WHERE m.folder = ? AND m.id >= ? ORDER BY m.id");
    query.Bind(1, folder).Bind(2, firstMessage);
    std::vector<Message> messages;
    while (query.Step()) {
        std::int64_t id = query.Number(0);
        if (messages.empty() || messages.back().id != id) messages.push_back({id, {}});
        if (query.IsNull(1)) continue;  // a message without properties
        auto tag = PROP_TAG(static_cast<ULONG>(query.Number(2)), static_cast<ULONG>(query.Number(1)));
        messages.back().properties.push_back(query.Value(tag, 3));
    }
    return messages;
}

std::size_t MessageDatabase::Count(std::int64_t folder) {
    Query query(*this,
                "SELECT count(*) FROM messages m WHERE m.folder = ? AND EXISTS (SELECT 1 FROM properties p"
                " WHERE p.message = m.id)");
    query.Bind(1, folder).Step();
    return static_cast<std::size_t>(query.Number(0));
}

std::size_t MessageDatabase::CountUnread(std::int64_t folder) {
    Query query(*this,
                "SELECT count(*) FROM messages m WHERE m.folder = ? AND EXISTS (SELECT 1 FROM properties p"
                " WHERE p.message = m.id) AND NOT EXISTS (SELECT 1 FROM properties p"
                " WHERE p.message = m.id AND p.id = ? AND p.type = ? AND (p.value & ?) != 0)");
    query.Bind(1, folder)
        .Bind(2, static_cast<std::int64_t>(PROP_ID(PR_MESSAGE_FLAGS)))
        .Bind(3, static_cast<std::int64_t>(PROP_TYPE(PR_MESSAGE_FLAGS)))
        .Bind(4, static_cast<std::int64_t>(MSGFLAG_READ))
        .Step();
    return static_cast<std::size_t>(query.Number(0));
}

std::int64_t MessageDatabase::DataVersion() {
    Query query(*this, "PRAGMA data_version");
    query.Step();
    return query.Number(0);
}

MessageDatabase::Transaction::Transaction(MessageDatabase& database)
    : database_(database), transaction_(std::make_unique<sqlite::Transaction>(*database.db_)) {
    if (transaction_->Status() != SQLITE_OK) database_.Fail("BEGIN IMMEDIATE");
}

MessageDatabase::Transaction::~Transaction() = default;

void MessageDatabase::Transaction::Commit() {
    if (transaction_->Commit() != SQLITE_OK) database_.Fail("COMMIT");
}

}  // namespace velmo::device
