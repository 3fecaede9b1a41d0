#include "device/MessageDatabase.h"

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace velmo::device {

namespace {

// An entry identifier: the platform's four flag bytes (zero), this store's tag, the kind
// of object and its row number, little-endian.
constexpr std::uint8_t kStoreTag[4] = {'V', 'M', 'S', 0x01};
constexpr std::size_t kEntryIdSize = 4 + sizeof kStoreTag + 1 + 8;

// Text is kept in UTF-16 so that every unit the deliverables store comes back unchanged.
constexpr const char* kSchema =
    "PRAGMA encoding='UTF-16le';"
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "PRAGMA foreign_keys=ON;"
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
    if (id[8] != static_cast<std::uint8_t>(EntryKind::Folder) && id[8] != static_cast<std::uint8_t>(EntryKind::Message)) {
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
        case PT_SYSTIME:
            return property.AsNumber() != nullptr;
        case PT_UNICODE:
            return property.AsText() != nullptr;
        case PT_STRING8:
        case PT_BINARY:
            return std::holds_alternative<std::vector<std::uint8_t>>(property.value);
        default:
            return false;
    }
}

// A cached statement in use; bindings and state are reset when the use ends.
class MessageDatabase::Query {
public:
    Query(MessageDatabase& database, const char* sql) : database_(database), stmt_(database.Prepare(sql)) {}
    ~Query() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int index, std::int64_t number) {
        Check(sqlite3_bind_int64(stmt_, index, number));
        return *this;
    }
    Query& Bind(int index, std::u16string_view text) {
        // A null pointer would bind NULL rather than an empty text.
        const char16_t* data = text.empty() ? u"" : text.data();
        Check(sqlite3_bind_text16(stmt_, index, data, static_cast<int>(text.size() * sizeof(char16_t)),
                                  SQLITE_TRANSIENT));
        return *this;
    }
    Query& Bind(int index, const std::vector<std::uint8_t>& bytes) {
        Check(bytes.empty() ? sqlite3_bind_zeroblob(stmt_, index, 0)
                            : sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                                                SQLITE_TRANSIENT));
        return *this;
    }
    Query& Bind(int index, const Property& property) {
        std::visit([&](const auto& value) { Bind(index, value); }, property.value);
        return *this;
    }

    // True while there is a row to read.
    bool Step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) database_.Fail("step");
        return false;
    }

    bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::int64_t Number(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::u16string Text(int column) const {
        const void* data = sqlite3_column_text16(stmt_, column);
        std::u16string text(static_cast<std::size_t>(sqlite3_column_bytes16(stmt_, column)) / sizeof(char16_t), u'\0');
        if (!text.empty()) std::memcpy(text.data(), data, text.size() * sizeof(char16_t));
        return text;
    }
    Property Value(ULONG tag, int column) const {
        switch (sqlite3_column_type(stmt_, column)) {
            case SQLITE_TEXT:
                return {tag, Text(column)};
            case SQLITE_BLOB: {
                const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
                auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column));
                return {tag, std::vector<std::uint8_t>(data, data + size)};
            }
            default:
                return {tag, Number(column)};
        }
    }

private:
    void Check(int rc) const {
        if (rc != SQLITE_OK) database_.Fail("bind");
    }

    MessageDatabase& database_;
    sqlite3_stmt* stmt_;
};

MessageDatabase::MessageDatabase(const std::filesystem::path& file) {
    int rc = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        throw std::runtime_error("cannot open " + file.string() + ": " + message);
    }
    sqlite3_busy_timeout(db_, 10000);
    try {
        Exec(kSchema);
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

MessageDatabase::~MessageDatabase() {
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    sqlite3_close(db_);
}

sqlite3_stmt* MessageDatabase::Prepare(const char* sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) return found->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) Fail("prepare");
    statements_.emplace(sql, stmt);
    return stmt;
}

void MessageDatabase::Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
}

void MessageDatabase::Fail(const char* what) const {
    throw std::runtime_error(std::string("messages.db: ") + what + ": " + sqlite3_errmsg(db_));
}

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
    return sqlite3_last_insert_rowid(db_);
}

bool MessageDatabase::DeleteMessage(std::int64_t folder, std::int64_t message) {
    Query query(*this, "DELETE FROM messages WHERE id = ? AND folder = ?");
    query.Bind(1, message).Bind(2, folder).Step();
    return sqlite3_changes(db_) > 0;
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

std::vector<MessageDatabase::Message> MessageDatabase::ListFolder(std::int64_t folder, std::int64_t firstMessage) {
    Query query(*this,
                "SELECT m.id, p.id, p.type, p.value FROM messages m LEFT JOIN properties p ON p.message = m.id"
                " WHERE m.folder = ? AND m.id >= ? ORDER BY m.id");
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
    Query query(*this, "SELECT count(*) FROM messages WHERE folder = ?");
    query.Bind(1, folder).Step();
    return static_cast<std::size_t>(query.Number(0));
}

MessageDatabase::Transaction::Transaction(MessageDatabase& database) : database_(database) {
    // IMMEDIATE takes the write lock at once, so a busy database is waited for here and
    // never fails a statement half-way through the transaction.
    database_.Exec("BEGIN IMMEDIATE");
}

MessageDatabase::Transaction::~Transaction() {
    if (!done_) sqlite3_exec(database_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void MessageDatabase::Transaction::Commit() {
    database_.Exec("COMMIT");
    done_ = true;
}

}  // namespace velmo::device
