#include "device/ContactStore.h"

#include <sqlite3.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "device/DeviceRoot.h"

namespace velmo::device {

namespace {

struct FieldColumn {
    const char* name;    // as the command line shows it
    const char* column;  // in contacts.db
};

constexpr std::array<FieldColumn, ContactFieldCount> Fields = {{
    {"first", "first_name"},
    {"last", "last_name"},
    {"file-as", "file_as"},
    {"company", "company_name"},
    {"business", "business_tel"},
    {"business2", "business2_tel"},
    {"home", "home_tel"},
    {"home2", "home2_tel"},
    {"mobile", "mobile_tel"},
    {"car", "car_tel"},
    {"radio", "radio_tel"},
    {"business-fax", "business_fax"},
    {"home-fax", "home_fax"},
    {"pager", "pager"},
    {"email", "email1"},
    {"email2", "email2"},
    {"email3", "email3"},
}};

std::string ColumnList() {
    std::string list;
    for (const auto& field : Fields) {
        if (!list.empty()) list += ", ";
        list += field.column;
    }
    return list;
}

// The identifier is bounded to what the address book hands out as a 32-bit Oid;
// AUTOINCREMENT keeps the highest one ever used, so a removed contact's is never reused.
std::string Schema() {
    std::string sql =
        "CREATE TABLE IF NOT EXISTS contacts(oid INTEGER PRIMARY KEY AUTOINCREMENT "
        "CHECK(oid BETWEEN 1 AND 2147483647)";
    for (const auto& field : Fields) sql += std::string(", ") + field.column + " TEXT";
    return sql + ")";
}

constexpr int SchemaVersion = 1;
constexpr int BusyMilliseconds = 5000;

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    throw std::runtime_error("contacts.db: " + what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}

void Execute(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(db, sql);
}

void ExecuteWhenFree(sqlite3* db, const std::string& sql) {
    for (int attempt = 0;; ++attempt) {
        int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return;
        if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || attempt == BusyMilliseconds) Fail(db, sql);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) Fail(db, sql);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    // True for a row, false when done.
    bool Step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        Fail(db_, sqlite3_sql(stmt_));
    }
    void Reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

int UserVersion(sqlite3* db) {
    Statement version(db, "PRAGMA user_version");
    version.Step();
    return sqlite3_column_int(version.get(), 0);
}

class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { Execute(db_, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (!committed_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit() {
        Execute(db_, "COMMIT");
        committed_ = true;
    }

private:
    sqlite3* db_;
    bool committed_ = false;
};

LONG Insert(sqlite3* db, Statement& insert, const ContactEntry& contact) {
    insert.Reset();
    for (std::size_t i = 0; i < ContactFieldCount; ++i) {
        const auto& text = contact.fields[i];
        int rc = text.empty() ? sqlite3_bind_null(insert.get(), static_cast<int>(i) + 1)
                              : sqlite3_bind_text16(insert.get(), static_cast<int>(i) + 1, text.data(),
                                                    static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK) Fail(db, "binding a contact field");
    }
    insert.Step();
    return static_cast<LONG>(sqlite3_last_insert_rowid(db));
}

}  // namespace

std::string_view ContactFieldName(ContactField field) { return Fields[static_cast<std::size_t>(field)].name; }

bool ContactEntry::Empty() const {
    for (const auto& text : fields) {
        if (!text.empty()) return false;
    }
    return true;
}

std::u16string_view ContactSnapshot::Field(std::size_t row, ContactField field) const {
    std::size_t index = row * ContactFieldCount + static_cast<std::size_t>(field);
    return std::u16string_view(text_).substr(starts_[index], starts_[index + 1] - starts_[index]);
}

ContactStore::ContactStore() {
    auto path = EnsureDeviceRoot() / "contacts.db";
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string message = "cannot open " + path.string() + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
        sqlite3_close(db_);
        throw std::runtime_error(message);
    }
    try {
        sqlite3_busy_timeout(db_, BusyMilliseconds);
        // A file is set up once (the handler opens it for every message); both settings
        // stay in the file. Processes that set up the same new file at once do the same.
        if (UserVersion(db_) < SchemaVersion) {
            // The text is stored as the product's UTF-16, so reading it back converts nothing.
            Execute(db_, "PRAGMA encoding = 'UTF-16le'");
            // Switching to the log can answer "locked" at once, without the busy timeout,
            // while another process sets up the same new file.
            ExecuteWhenFree(db_, "PRAGMA journal_mode = WAL");
            Execute(db_, Schema());
            Execute(db_, "PRAGMA user_version = " + std::to_string(SchemaVersion));
        }
    } catch (...) {
        sqlite3_close(db_);
        throw;
    }
}

ContactStore::~ContactStore() { sqlite3_close(db_); }

LONG ContactStore::Add(const ContactEntry& contact) { return AddAll({&contact, 1}).front(); }

std::vector<LONG> ContactStore::AddAll(std::span<const ContactEntry> contacts) {
    std::string placeholders = "?";
    for (std::size_t i = 1; i < ContactFieldCount; ++i) placeholders += ", ?";
    Statement insert(db_, "INSERT INTO contacts(" + ColumnList() + ") VALUES(" + placeholders + ")");
    Transaction transaction(db_);
    std::vector<LONG> oids;
    oids.reserve(contacts.size());
    for (const auto& contact : contacts) oids.push_back(Insert(db_, insert, contact));
    transaction.Commit();
    return oids;
}

bool ContactStore::Remove(LONG oid) {
    Statement remove(db_, "DELETE FROM contacts WHERE oid = ?");
    sqlite3_bind_int(remove.get(), 1, oid);
    remove.Step();
    return sqlite3_changes(db_) > 0;
}

int ContactStore::Clear() {
    Execute(db_, "DELETE FROM contacts");
    return sqlite3_changes(db_);
}

ContactSnapshot ContactStore::Load() const {
    Statement select(db_, "SELECT oid, " + ColumnList() + " FROM contacts ORDER BY oid");
    ContactSnapshot snapshot;
    while (select.Step()) {
        snapshot.oids_.push_back(static_cast<LONG>(sqlite3_column_int(select.get(), 0)));
        for (int column = 1; column <= static_cast<int>(ContactFieldCount); ++column) {
            snapshot.starts_.push_back(static_cast<std::uint32_t>(snapshot.text_.size()));
            auto text = static_cast<const char16_t*>(sqlite3_column_text16(select.get(), column));
            if (text != nullptr) {
                snapshot.text_.append(text, static_cast<std::size_t>(sqlite3_column_bytes16(select.get(), column)) /
                                                sizeof(char16_t));
            }
        }
    }
    snapshot.starts_.push_back(static_cast<std::uint32_t>(snapshot.text_.size()));
    return snapshot;
}

long long ContactStore::DataVersion() const {
    Statement version(db_, "PRAGMA data_version");
    version.Step();
    return sqlite3_column_int64(version.get(), 0);
}

}  // namespace velmo::device
