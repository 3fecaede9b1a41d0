#pragma once
// The device's one way of talking to its SQLite databases (registry.db, messages.db,
// contacts.db): a connection that waits for other processes instead of failing at once,
// statements with bound parameters, and a transaction that rolls back unless committed.
// Nothing here throws: every step answers SQLite's result code, so the registry can turn
// it into a Win32 code and the stores into an exception of their own.

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmo::device::sqlite {

// How long a statement waits for another process's write lock before it answers SQLITE_BUSY.
constexpr int kBusyMilliseconds = 10000;

enum class Access { ReadWrite, ReadWriteExisting, ReadOnly };

// The meaning of a result code in words ("database is locked"), never a bare number.
std::string Describe(int rc);

// Whether a failure with SQLite's result code rc and the system's error number beside it
// was the file system running out of space: SQLite answers a full disk with SQLITE_FULL
// when a write fails, but with an I/O or open error when the log's index cannot be made.
bool IsNoSpace(int rc, int systemErrno);
inline constexpr const char* NoSpaceText = "no space left on the device";

// What a store throws for a failure that IsNoSpace, so that its caller can answer it as a
// full disk rather than as a damaged file.
class NoSpaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Database;
// Throws what the last failure of db was, in words after what: a NoSpaceError when IsNoSpace.
[[noreturn]] void Throw(const Database& db, const std::string& what);

class Database {
public:
    Database() = default;
    ~Database() { Close(); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens the file for this thread alone: ReadWrite creates it when missing,
    // ReadWriteExisting fails without it, ReadOnly needs it and never writes to it.
    // SQLITE_OK or why not (nothing held then).
    int Open(const std::filesystem::path& file, Access access, int busyMilliseconds = kBusyMilliseconds);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    bool ReadOnly() const { return access_ == Access::ReadOnly; }
    sqlite3* get() const { return db_; }

    // Runs one or more statements without parameters.
    int Exec(const char* sql);
    // Like Exec, for statements that answer "busy" or "locked" without waiting for the
    // busy timeout (switching the journal mode while another process sets up the file).
    int ExecWhenFree(const char* sql);
    // Whether the query `ready` answers a first column other than 0 (the schema is there)
    // into setUp; SQLITE_OK, or why the file could not be asked (one that is no database).
    int IsSetUp(const char* ready, bool& setUp);
    // Sets the database up: `settings` (those SQLite takes outside a transaction) on every
    // call, then, unless `ready` says it is there, `schema` in one write transaction, so that
    // a process stopped at any moment leaves every table or none. SQLITE_OK or why not (an
    // extended code, LastError in words); after a failure the connection is closed, which
    // rolls back what the schema began.
    int SetUp(const char* settings, const char* ready, const std::string& schema);
    // A statement prepared once per text and kept until Close; the text must outlive the
    // connection (a literal). Null when it cannot be prepared; rc says why.
    sqlite3_stmt* Cached(const char* sql, int& rc);

    // The connection's last error in words: SQLite's message for it, or the code's meaning.
    std::string LastError() const;
    std::int64_t LastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }
    int Changes() const { return sqlite3_changes(db_); }

private:
    sqlite3* db_ = nullptr;
    Access access_ = Access::ReadWrite;
    int busyMilliseconds_ = kBusyMilliseconds;
    std::vector<std::pair<const char*, sqlite3_stmt*>> cache_;
};

// One use of a prepared statement: bind, step, read columns. A cached statement is reset
// and its bindings cleared when the use ends; an own one is finalized. The first failure
// (prepare or bind) is kept and answered by Step, so a caller checks once.
class Statement {
public:
    // A statement from the connection's cache.
    Statement(Database& database, const char* sql);
    // A statement of its own, for a text built at run time.
    Statement(Database& database, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // SQLITE_OK, or the first failure so far.
    int Status() const { return rc_; }

    Statement& Bind(int index, std::int64_t number);
    // UTF-8 text; an empty view binds an empty text, not NULL.
    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, std::u16string_view text);
    Statement& BindBlob(int index, const void* data, std::size_t size);
    Statement& BindNull(int index);

    // SQLITE_ROW, SQLITE_DONE or the error; a statement that failed earlier is not run.
    int Step();
    // Makes the statement ready to run again with new bindings.
    void Reset();

    int Type(int column) const { return sqlite3_column_type(stmt_, column); }
    std::int64_t Number(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Utf8(int column) const;
    std::u16string Text(int column) const;
    std::vector<std::uint8_t> Blob(int column) const;
    // The text of a column without a copy, valid until the next step; empty for NULL.
    std::u16string_view TextView(int column) const;

private:
    void Keep(int rc);

    sqlite3_stmt* stmt_ = nullptr;
    bool owned_ = false;
    int rc_ = SQLITE_OK;
};

// A write transaction for the object's life: BEGIN IMMEDIATE takes the write lock at once,
// so a busy database is waited for here and never fails a statement half-way through.
// Rolled back unless Commit succeeded.
class Transaction {
public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // SQLITE_OK when the transaction began.
    int Status() const { return rc_; }
    int Commit();

private:
    Database& database_;
    int rc_;
    bool open_;
};

}  // namespace velmo::device::sqlite
