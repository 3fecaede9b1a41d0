#include "device/ContactStore.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "device/DeviceRoot.h"
#include "device/Sqlite.h"

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

[[noreturn]] void Fail(const sqlite::Database& db, const std::string& what) {
    sqlite::Throw(db, "contacts.db: " + what);
}

void Execute(sqlite::Database& db, const std::string& sql) {
    if (db.Exec(sql.c_str()) != SQLITE_OK) Fail(db, sql);
}

// True for a row, false when done.
bool Step(sqlite::Database& db, sqlite::Statement& statement, const std::string& sql) {
    int rc = statement.Step();
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(db, sql);
}

int UserVersion(sqlite::Database& db) {
    const std::string sql = "PRAGMA user_version";
    sqlite::Statement version(db, sql);
    Step(db, version, sql);
    return static_cast<int>(version.Number(0));
}

std::string InsertSql() {
    std::string placeholders = "?";
    for (std::size_t i = 1; i < ContactFieldCount; ++i) placeholders += ", ?";
    return "INSERT INTO contacts(" + ColumnList() + ") VALUES(" + placeholders + ")";
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

bool ContactStore::Exists() {
    std::error_code error;
    return std::filesystem::is_regular_file(DeviceRoot() / "contacts.db", error);
}

ContactStore::ContactStore(Open open) : db_(std::make_unique<sqlite::Database>()) {
    bool create = open == Open::CreateIfMissing;
    auto path = (create ? EnsureDeviceRoot() : DeviceRoot()) / "contacts.db";
    int rc = db_->Open(path, create ? sqlite::Access::ReadWrite : sqlite::Access::ReadWriteExisting, BusyMilliseconds);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot open " + path.string() + ": " + sqlite::Describe(rc));
    // A file is set up once (the handler opens it for every message); both settings
    // stay in the file. Processes that set up the same new file at once do the same.
    if (UserVersion(*db_) < SchemaVersion) {
        // The text is stored as the product's UTF-16, so reading it back converts nothing;
        // the table and the version that marks the file set up are written together.
        const std::string schema = Schema() + "; PRAGMA user_version = " + std::to_string(SchemaVersion);
        if (db_->SetUp("PRAGMA encoding = 'UTF-16le'; PRAGMA journal_mode = WAL", "PRAGMA user_version", schema) !=
            SQLITE_OK) {
            Fail(*db_, "setting up");
        }
    }
}

ContactStore::ContactStore(ReadOnlyTag) {
    auto path = DeviceRoot() / "contacts.db";
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return;
    db_ = std::make_unique<sqlite::Database>();
    int rc = db_->Open(path, sqlite::Access::ReadOnly, BusyMilliseconds);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot open " + path.string() + ": " + sqlite::Describe(rc));
    // A file that was never set up holds no contacts yet.
    if (UserVersion(*db_) < SchemaVersion) db_.reset();
}

ContactStore::~ContactStore() = default;

LONG ContactStore::Add(const ContactEntry& contact) { return AddAll({&contact, 1}).front(); }

std::vector<LONG> ContactStore::AddAll(std::span<const ContactEntry> contacts) {
    if (!db_) throw std::runtime_error("contacts.db: opened for reading only");
    const std::string sql = InsertSql();
    sqlite::Statement insert(*db_, sql);
    sqlite::Transaction transaction(*db_);
    if (transaction.Status() != SQLITE_OK) Fail(*db_, "BEGIN IMMEDIATE");
    std::vector<LONG> oids;
    oids.reserve(contacts.size());
    for (const auto& contact : contacts) {
        insert.Reset();
        for (std::size_t i = 0; i < ContactFieldCount; ++i) {
            const auto& text = contact.fields[i];
            auto index = static_cast<int>(i) + 1;
            if (text.empty()) {
                insert.BindNull(index);
            } else {
                insert.Bind(index, std::u16string_view(text));
            }
        }
        Step(*db_, insert, sql);
        oids.push_back(static_cast<LONG>(db_->LastInsertRowid()));
    }
    if (transaction.Commit() != SQLITE_OK) Fail(*db_, "COMMIT");
    return oids;
}

bool ContactStore::Remove(LONG oid) {
    if (!db_) throw std::runtime_error("contacts.db: opened for reading only");
    const std::string sql = "DELETE FROM contacts WHERE oid = ?";
    sqlite::Statement remove(*db_, sql);
    remove.Bind(1, static_cast<std::int64_t>(oid));
    Step(*db_, remove, sql);
    return db_->Changes() > 0;
}

int ContactStore::Clear() {
    if (!db_) throw std::runtime_error("contacts.db: opened for reading only");
    Execute(*db_, "DELETE FROM contacts");
    return db_->Changes();
}

ContactSnapshot ContactStore::Load() const {
    ContactSnapshot snapshot;
    if (db_) {
        const std::string sql = "SELECT oid, " + ColumnList() + " FROM contacts ORDER BY oid";
        sqlite::Statement select(*db_, sql);
        while (Step(*db_, select, sql)) {
            snapshot.oids_.push_back(static_cast<LONG>(select.Number(0)));
            for (int column = 1; column <= static_cast<int>(ContactFieldCount); ++column) {
                snapshot.starts_.push_back(static_cast<std::uint32_t>(snapshot.text_.size()));
                snapshot.text_.append(select.TextView(column));
            }
        }
    }
    snapshot.starts_.push_back(static_cast<std::uint32_t>(snapshot.text_.size()));
    return snapshot;
}

long long ContactStore::DataVersion() const {
    if (!db_) return 0;
    const std::string sql = "PRAGMA data_version";
    sqlite::Statement version(*db_, sql);
    Step(*db_, version, sql);
    return version.Number(0);
}

}  // namespace velmo::device
