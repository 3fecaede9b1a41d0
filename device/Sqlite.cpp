#include "device/Sqlite.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace velmo::device::sqlite {

std::string Describe(int rc) { return (rc & 0xFF) == SQLITE_FULL ? NoSpaceText : sqlite3_errstr(rc); }

bool IsNoSpace(int rc, int systemErrno) {
    const int primary = rc & 0xFF;
    return primary == SQLITE_FULL || ((primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN) && systemErrno == ENOSPC);
}

namespace {

int OpenFile(const std::string& name, int flags, int busyMilliseconds, sqlite3*& db) {
    db = nullptr;
    int rc = sqlite3_open_v2(name.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        db = nullptr;
        return rc;
    }
    sqlite3_busy_timeout(db, busyMilliseconds);
    return SQLITE_OK;
}

// The file as a URI that reads it as it stands, without the log's shared index.
std::string ImmutableUri(const std::filesystem::path& file) {
    std::string uri = "file:";
    for (char c : file.string()) {
        if (c == '%' || c == '?' || c == '#') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

int Database::Open(const std::filesystem::path& file, Access access, int busyMilliseconds) {
    Close();
    sqlite3* db = nullptr;
    int flags = access == Access::ReadOnly            ? SQLITE_OPEN_READONLY
                : access == Access::ReadWriteExisting ? SQLITE_OPEN_READWRITE
                                                      : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int rc = OpenFile(file.string(), flags, busyMilliseconds, db);
    if (rc == SQLITE_OK && access == Access::ReadOnly) {
        // A reader of a write-ahead-log database needs the log's index file beside it, and
        // cannot create one in a directory it may not write. That file exists while any
        // writer has the database open, so its absence means the database file holds
        // everything: read it as it stands.
        int probe = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        if (probe == SQLITE_READONLY || probe == SQLITE_CANTOPEN) {
            sqlite3_close(db);
            rc = OpenFile(ImmutableUri(file), flags | SQLITE_OPEN_URI, busyMilliseconds, db);
        }
    }
    if (rc != SQLITE_OK) return rc;
    db_ = db;
    access_ = access;
    busyMilliseconds_ = busyMilliseconds;
    return SQLITE_OK;
}

void Database::Close() {
    for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
    cache_.clear();
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
}

int Database::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

int Database::ExecWhenFree(const char* sql) {
    for (int waited = 0;; ++waited) {
        int rc = Exec(sql);
        if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || waited >= busyMilliseconds_) return rc;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int Database::IsSetUp(const char* ready, bool& setUp) {
    Statement query(*this, std::string(ready));
    const int rc = query.Step();
    setUp = rc == SQLITE_ROW && query.Number(0) != 0;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int Database::SetUp(const char* settings, const char* ready, const std::string& schema) {
    // Switching a new file to the log answers "busy" at once, without the busy timeout,
    // while another process sets up the same file.
    bool setUp = false;
    int rc = ExecWhenFree(settings);
    if (rc == SQLITE_OK) rc = IsSetUp(ready, setUp);
    if (rc == SQLITE_OK && !setUp) {
        rc = ExecWhenFree("BEGIN IMMEDIATE");
        // Another process may have set it up meanwhile; the schema is written to be run again.
        if (rc == SQLITE_OK) rc = Exec(schema.c_str());
        if (rc == SQLITE_OK) rc = Exec("COMMIT");
    }
    return rc == SQLITE_OK ? rc : sqlite3_extended_errcode(db_);
}

sqlite3_stmt* Database::Cached(const char* sql, int& rc) {
    for (auto& [text, stmt] : cache_) {
        if (text == sql) {
            rc = SQLITE_OK;
            return stmt;
        }
    }
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    cache_.emplace_back(sql, stmt);
    return stmt;
}

void Throw(const Database& db, const std::string& what) {
    const std::string text = what + ": " + db.LastError();
    if (db.IsOpen() && IsNoSpace(sqlite3_extended_errcode(db.get()), sqlite3_system_errno(db.get()))) {
        throw NoSpaceError(text);
    }
    throw std::runtime_error(text);
}

std::string Database::LastError() const {
    if (db_ == nullptr) return Describe(SQLITE_MISUSE);
    if (IsNoSpace(sqlite3_extended_errcode(db_), sqlite3_system_errno(db_))) return NoSpaceText;
    return sqlite3_errmsg(db_);
}

Statement::Statement(Database& database, const char* sql) { stmt_ = database.Cached(sql, rc_); }

Statement::Statement(Database& database, const std::string& sql) : owned_(true) {
    rc_ = sqlite3_prepare_v2(database.get(), sql.c_str(), -1, &stmt_, nullptr);
    if (rc_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() {
    if (stmt_ == nullptr) return;
    if (owned_) {
        sqlite3_finalize(stmt_);
    } else {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
}

void Statement::Keep(int rc) {
    if (rc_ == SQLITE_OK) rc_ = rc;
}

Statement& Statement::Bind(int index, std::int64_t number) {
    if (rc_ == SQLITE_OK) Keep(sqlite3_bind_int64(stmt_, index, number));
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    // A null pointer would bind NULL rather than an empty text.
    if (rc_ == SQLITE_OK) {
        Keep(sqlite3_bind_text(stmt_, index, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT));
    }
    return *this;
}

Statement& Statement::Bind(int index, std::u16string_view text) {
    if (rc_ == SQLITE_OK) {
        Keep(sqlite3_bind_text16(stmt_, index, text.empty() ? u"" : text.data(),
                                 static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT));
    }
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, std::size_t size) {
    // An empty blob stays a blob: a null pointer would bind NULL.
    if (rc_ == SQLITE_OK) {
        Keep(size == 0 ? sqlite3_bind_zeroblob(stmt_, index, 0)
                       : sqlite3_bind_blob(stmt_, index, data, static_cast<int>(size), SQLITE_TRANSIENT));
    }
    return *this;
}

Statement& Statement::BindNull(int index) {
    if (rc_ == SQLITE_OK) Keep(sqlite3_bind_null(stmt_, index));
    return *this;
}

int Statement::Step() {
    if (rc_ != SQLITE_OK) return rc_;
    int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) rc_ = rc;
    return rc;
}

void Statement::Reset() {
    if (stmt_ == nullptr) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    rc_ = SQLITE_OK;
}

std::string Statement::Utf8(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text == nullptr ? std::string()
                           : std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::u16string_view Statement::TextView(int column) const {
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt_, column));
    if (text == nullptr) return {};
    return {text, static_cast<std::size_t>(sqlite3_column_bytes16(stmt_, column)) / sizeof(char16_t)};
}

std::u16string Statement::Text(int column) const { return std::u16string(TextView(column)); }

std::vector<std::uint8_t> Statement::Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column));
    return data == nullptr ? std::vector<std::uint8_t>() : std::vector<std::uint8_t>(data, data + size);
}

Transaction::Transaction(Database& database)
    : database_(database), rc_(database.Exec("BEGIN IMMEDIATE")), open_(rc_ == SQLITE_OK) {}

Transaction::~Transaction() {
    if (open_) database_.Exec("ROLLBACK");
}

int Transaction::Commit() {
    if (!open_) return rc_ == SQLITE_OK ? SQLITE_MISUSE : rc_;
    int rc = database_.Exec("COMMIT");
    // A failed COMMIT leaves the transaction open; the destructor rolls it back.
    if (rc == SQLITE_OK) open_ = false;
    return rc;
}

}  // namespace velmo::device::sqlite
