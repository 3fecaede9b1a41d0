#include "device/Registry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "device/Clock.h"
#include "device/DeviceRoot.h"
#include "device/Sqlite.h"
#include "device/Text.h"

// The registry lives in registry.db: one row per key (with its full folded path, so a
// key opens with one lookup) and one row per value. Every call is its own transaction,
// so a value written by one process is read by the others at their next call.

namespace {

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr std::uint32_t kHandleMagic = 0x52454759;  // "REGY"

struct RootKey {
    ULONG_PTR handle;
    std::int64_t id;
    const char* name;
};
constexpr RootKey kRoots[] = {
    {0x80000000u, 1, "HKEY_CLASSES_ROOT"},
    {0x80000001u, 2, "HKEY_CURRENT_USER"},
    {0x80000002u, 3, "HKEY_LOCAL_MACHINE"},
};

}  // namespace

struct HKEY__ {
    std::uint32_t magic;
    std::int64_t id;
    std::string path;  // folded full path, root name first
};

namespace {

// Case folding for key and value names: the registry compares names case-insensitively.
char16_t Fold(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 32);
    if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 80);
    if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return static_cast<char16_t>(c + 32);
    return c;
}

std::string FoldedUtf8(std::u16string_view name) {
    std::u16string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), Fold);
    return velmo::device::ToUtf8(folded);
}

std::u16string_view View(LPCWSTR text) {
    return text == nullptr ? std::u16string_view{} : std::u16string_view{text, velmo::device::Length(text)};
}

// Splits a sub-key path into its names. A leading and a trailing backslash are ignored;
// an empty name inside the path, or a name longer than the platform allows, is refused.
bool SplitPath(std::u16string_view path, std::vector<std::u16string>& names) {
    if (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
    if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
    names.clear();
    if (path.empty()) return true;
    std::size_t start = 0;
    while (true) {
        std::size_t end = path.find(u'\\', start);
        std::u16string_view name =
            path.substr(start, end == std::u16string_view::npos ? path.size() - start : end - start);
        if (name.empty() || name.size() > kMaxKeyNameLength) return false;
        names.emplace_back(name);
        if (end == std::u16string_view::npos) return true;
        start = end + 1;
    }
}

// SQLite's words for the last database failure of a registry call on this thread.
thread_local std::string gDatabaseError;

LONG ErrorFromSqlite(int rc) {
    // Nothing between the failed call and this one touches errno, which holds the system's reason.
    gDatabaseError =
        velmo::device::sqlite::IsNoSpace(rc, errno) ? velmo::device::sqlite::NoSpaceText : sqlite3_errstr(rc);
    switch (rc & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB: return ERROR_BADDB;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return ERROR_BUSY;
        case SQLITE_CANTOPEN: return ERROR_CANTOPEN;
        case SQLITE_NOMEM: return ERROR_OUTOFMEMORY;
        case SQLITE_READONLY:
        case SQLITE_FULL: return ERROR_CANTWRITE;
        default: return ERROR_CANTREAD;
    }
}

using velmo::device::sqlite::Access;
using velmo::device::sqlite::Statement;
using velmo::device::sqlite::Transaction;

struct ValueRow {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The journal settings (the log's mode stays in the file), then the tables and the three roots.
constexpr const char* kSettings =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;";
constexpr const char* kReady = "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'vals'";
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " units INTEGER NOT NULL, path TEXT NOT NULL UNIQUE, written INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS keys_parent ON keys(parent, path);"
    "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, folded TEXT NOT NULL, name TEXT NOT NULL,"
    " units INTEGER NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, folded))"
    " WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name, units, path) VALUES"
    " (1, 0, 'HKEY_CLASSES_ROOT', 17, 'hkcr'), (2, 0, 'HKEY_CURRENT_USER', 17, 'hkcu'),"
    " (3, 0, 'HKEY_LOCAL_MACHINE', 18, 'hklm');";

class Database {
public:
    // Opens (or reopens, when the device root moved) the connection; ERROR_SUCCESS or why not.
    LONG Connect(Access access) {
        std::filesystem::path file;
        // The registry's callers take error codes, never exceptions.
        try {
            file = velmo::device::DeviceRoot() / "registry.db";
        } catch (const velmo::device::NoDeviceRoot&) {
            return ERROR_CANTOPEN;
        }
        if (sql.IsOpen() && file == file_) return ERROR_SUCCESS;
        Disconnect();
        if (access == Access::ReadOnly) return ConnectReadOnly(file);
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        int rc = sql.Open(file, Access::ReadWrite);
        if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
        rc = sql.SetUp(kSettings, kReady, kSchema);
        if (rc != SQLITE_OK) {
            int code = rc;
            LONG error = ErrorFromSqlite(code);
            sql.Close();
            // A file that holds no registry fails here with a plain error; a full disk or an
            // I/O error says nothing about the file's contents.
            return (code & 0xFF) == SQLITE_ERROR ? ERROR_BADDB : error;
        }
        file_ = file;
        return ERROR_SUCCESS;
    }

    // The file as it is, without setting it up; a missing file, or one that a process stopped
    // before its tables were made, reads as the empty registry that setting it up would give,
    // kept in memory (nothing is ever written to it).
    LONG ConnectReadOnly(const std::filesystem::path& file) {
        std::error_code ec;
        bool exists = std::filesystem::exists(file, ec);
        bool setUp = false;
        int rc = exists ? sql.Open(file, Access::ReadOnly) : SQLITE_OK;
        if (rc == SQLITE_OK && exists) rc = sql.IsSetUp(kReady, setUp);
        if (rc == SQLITE_OK && !setUp) {
            sql.Close();
            rc = sql.Open(":memory:", Access::ReadWrite);
            if (rc == SQLITE_OK) rc = sql.SetUp("", kReady, kSchema);
        }
        if (rc != SQLITE_OK) {
            sql.Close();
            return ErrorFromSqlite(rc);
        }
        file_ = file;
        return ERROR_SUCCESS;
    }

    // After an error the connection is dropped, so a repaired or replaced file is used next time.
    void Disconnect() {
        sql.Close();
        file_.clear();
    }

    velmo::device::sqlite::Database sql;

private:
    std::filesystem::path file_;
};

class Registry {
public:
    static Registry& Instance() {
        static Registry registry;
        return registry;
    }

    std::mutex mutex;
    Database database;
    Access access = Access::ReadWrite;
    std::unordered_set<HKEY> handles;

    // The key a handle names: a predefined root or a live handle of ours.
    bool Resolve(HKEY key, std::int64_t& id, std::string& path) {
        for (const auto& root : kRoots) {
            if (reinterpret_cast<ULONG_PTR>(key) == root.handle) {
                id = root.id;
                path = id == 1 ? "hkcr" : (id == 2 ? "hkcu" : "hklm");
                return true;
            }
        }
        if (key == nullptr || handles.count(key) == 0 || key->magic != kHandleMagic) return false;
        id = key->id;
        path = key->path;
        return true;
    }

    HKEY NewHandle(std::int64_t id, std::string path) {
        auto* handle = new HKEY__{kHandleMagic, id, std::move(path)};
        handles.insert(handle);
        return handle;
    }
};

// Runs body inside the registry lock with a connected database; a database error drops
// the connection and becomes the call's result.
template <typename Body>
LONG WithDatabase(Body&& body) {
    Registry& registry = Registry::Instance();
    std::lock_guard lock(registry.mutex);
    gDatabaseError.clear();
    LONG rc = registry.database.Connect(registry.access);
    if (rc != ERROR_SUCCESS) return rc;
    rc = body(registry);
    if (rc == ERROR_BADDB || rc == ERROR_CANTREAD || rc == ERROR_CANTWRITE || rc == ERROR_BUSY ||
        rc == ERROR_CANTOPEN) {
        registry.database.Disconnect();
    }
    return rc;
}

// Runs body with the key a handle names (its id and folded path); an unknown handle is
// ERROR_INVALID_HANDLE.
template <typename Body>
LONG WithKey(HKEY key, Body&& body) {
    return WithDatabase([&](Registry& registry) -> LONG {
        std::int64_t id = 0;
        std::string path;
        if (!registry.Resolve(key, id, path)) return ERROR_INVALID_HANDLE;
        return body(registry, id, path);
    });
}

// WithKey for a call that changes the registry: refused in a process that only reads.
template <typename Body>
LONG WithWritableKey(HKEY key, Body&& body) {
    return WithKey(key, [&](Registry& registry, std::int64_t id, const std::string& path) -> LONG {
        if (registry.access == Access::ReadOnly) return ERROR_ACCESS_DENIED;
        return body(registry, id, path);
    });
}

// Looks up a key by its folded full path. ERROR_SUCCESS with found set, or a database error.
LONG FindKey(Database& db, const std::string& path, std::int64_t& id, bool& found) {
    Statement q(db.sql, "SELECT id FROM keys WHERE path = ?1");
    int rc = q.Bind(1, std::string_view(path)).Step();
    if (rc == SQLITE_ROW) {
        id = q.Number(0);
        found = true;
        return ERROR_SUCCESS;
    }
    found = false;
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ErrorFromSqlite(rc);
}

LONG KeyExists(Database& db, std::int64_t id, bool& exists) {
    Statement q(db.sql, "SELECT 1 FROM keys WHERE id = ?1");
    int rc = q.Bind(1, id).Step();
    exists = rc == SQLITE_ROW;
    return (rc == SQLITE_ROW || rc == SQLITE_DONE) ? ERROR_SUCCESS : ErrorFromSqlite(rc);
}

LONG ReadValue(Database& db, std::int64_t key, const std::string& folded, bool& found, ValueRow& row) {
    Statement q(db.sql, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
    int rc = q.Bind(1, key).Bind(2, std::string_view(folded)).Step();
    if (rc == SQLITE_ROW) {
        found = true;
        row.type = static_cast<DWORD>(q.Number(0));
        row.data = q.Blob(1);
        return ERROR_SUCCESS;
    }
    found = false;
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ErrorFromSqlite(rc);
}

// Hands a value's type and data to the caller with the platform's buffer rules: no buffer
// asks only for the size; a short buffer gets ERROR_MORE_DATA and the size needed.
LONG DeliverData(const ValueRow& row, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpType != nullptr) *lpType = row.type;
    auto size = static_cast<DWORD>(row.data.size());
    if (lpcbData == nullptr) return ERROR_SUCCESS;
    if (lpData != nullptr) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size != 0) std::memcpy(lpData, row.data.data(), size);
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

std::uint64_t NowFileTime() { return velmo::device::ToFileTime(velmo::device::Now()); }

LONG Touch(Database& db, std::int64_t key) {
    Statement q(db.sql, "UPDATE keys SET written = ?2 WHERE id = ?1");
    int rc = q.Bind(1, key).Bind(2, static_cast<std::int64_t>(NowFileTime())).Step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : ErrorFromSqlite(rc);
}

// One write transaction; rolled back unless body succeeds.
template <typename Body>
LONG InTransaction(Database& db, Body&& body) {
    Transaction transaction(db.sql);
    if (transaction.Status() != SQLITE_OK) return ErrorFromSqlite(transaction.Status());
    LONG result = body();
    if (result != ERROR_SUCCESS) return result;
    int rc = transaction.Commit();
    return rc == SQLITE_OK ? ERROR_SUCCESS : ErrorFromSqlite(rc);
}

std::string JoinPath(const std::string& base, const std::vector<std::u16string>& names, std::size_t count) {
    std::string path = base;
    for (std::size_t i = 0; i < count; ++i) {
        path += '\\';
        path += FoldedUtf8(names[i]);
    }
    return path;
}

std::string Utf8(std::u16string_view text) { return velmo::device::ToUtf8(text); }

// Copies a name into a caller's buffer of *capacity units (terminator included).
LONG DeliverName(const std::u16string& name, LPWSTR buffer, LPDWORD capacity) {
    if (buffer == nullptr || capacity == nullptr) return ERROR_INVALID_PARAMETER;
    if (*capacity < name.size() + 1) {
        *capacity = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = 0;
    *capacity = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// The index-th child key or value of a key, by a query whose first column is the name:
// the name goes to the caller's buffer, the rest of the row to onRow.
template <typename OnRow>
LONG EnumerateRow(HKEY hKey, DWORD index, const char* sql, LPWSTR name, LPDWORD capacity, OnRow&& onRow) {
    if (name == nullptr || capacity == nullptr) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, [&](Registry& registry, std::int64_t id, const std::string& /*path*/) -> LONG {
        Statement q(registry.database.sql, sql);
        int rc = q.Bind(1, id).Bind(2, static_cast<std::int64_t>(index)).Step();
        if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
        if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
        LONG result = DeliverName(velmo::device::ToUtf16(q.Utf8(0)), name, capacity);
        if (result != ERROR_SUCCESS) return result;
        return onRow(q);
    });
}

// Writes one value of key id inside the caller's transaction.
LONG StoreValue(Database& db, std::int64_t id, std::u16string_view name, DWORD type, const BYTE* data, DWORD size) {
    Statement q(db.sql,
                "INSERT OR REPLACE INTO vals(key, folded, name, units, type, data)"
                " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    int step = q.Bind(1, id)
                   .Bind(2, std::string_view(FoldedUtf8(name)))
                   .Bind(3, std::string_view(Utf8(name)))
                   .Bind(4, static_cast<std::int64_t>(name.size()))
                   .Bind(5, static_cast<std::int64_t>(type))
                   .BindBlob(6, data, size)
                   .Step();
    return step == SQLITE_DONE ? ERROR_SUCCESS : ErrorFromSqlite(step);
}

}  // namespace

extern "C" {

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/, PHKEY phkResult) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<std::u16string> names;
    if (!SplitPath(View(lpSubKey), names)) return ERROR_BADKEY;
    return WithKey(hKey, [&](Registry& registry, std::int64_t /*baseId*/, const std::string& basePath) -> LONG {
        std::string path = JoinPath(basePath, names, names.size());
        std::int64_t id = 0;
        bool found = false;
        LONG rc = FindKey(registry.database, path, id, found);
        if (rc != ERROR_SUCCESS) return rc;
        if (!found) return names.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
        *phkResult = registry.NewHandle(id, std::move(path));
        return ERROR_SUCCESS;
    });
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/, DWORD /*dwOptions*/,
                     REGSAM /*samDesired*/, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<std::u16string> names;
    if (!SplitPath(View(lpSubKey), names)) return ERROR_BADKEY;
    return WithWritableKey(hKey, [&](Registry& registry, std::int64_t baseId, const std::string& basePath) -> LONG {
        Database& db = registry.database;
        std::int64_t id = baseId;
        std::string path = basePath;
        bool created = false;
        LONG rc = InTransaction(db, [&]() -> LONG {
            bool exists = false;
            LONG check = KeyExists(db, baseId, exists);
            if (check != ERROR_SUCCESS) return check;
            if (!exists) return ERROR_KEY_DELETED;
            for (std::size_t i = 0; i < names.size(); ++i) {
                std::string childPath = JoinPath(basePath, names, i + 1);
                std::int64_t childId = 0;
                bool found = false;
                check = FindKey(db, childPath, childId, found);
                if (check != ERROR_SUCCESS) return check;
                if (!found) {
                    Statement insert(
                        db.sql, "INSERT INTO keys(parent, name, units, path, written) VALUES (?1, ?2, ?3, ?4, ?5)");
                    int step = insert.Bind(1, id)
                                   .Bind(2, std::string_view(Utf8(names[i])))
                                   .Bind(3, static_cast<std::int64_t>(names[i].size()))
                                   .Bind(4, std::string_view(childPath))
                                   .Bind(5, static_cast<std::int64_t>(NowFileTime()))
                                   .Step();
                    if (step != SQLITE_DONE) return ErrorFromSqlite(step);
                    childId = db.sql.LastInsertRowid();
                    created = true;
                }
                id = childId;
                path = std::move(childPath);
            }
            return ERROR_SUCCESS;
        });
        if (rc != ERROR_SUCCESS) return rc;
        if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        *phkResult = registry.NewHandle(id, std::move(path));
        return ERROR_SUCCESS;
    });
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcClass, LPDWORD /*lpReserved*/, LPDWORD lpcSubKeys,
                      LPDWORD lpcMaxSubKeyLen, LPDWORD lpcMaxClassLen, LPDWORD lpcValues, LPDWORD lpcMaxValueNameLen,
                      LPDWORD lpcMaxValueLen, LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    if (lpClass != nullptr && lpcClass == nullptr) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, [&](Registry& registry, std::int64_t id, const std::string& /*path*/) -> LONG {
        Database& db = registry.database;
        Statement key(db.sql,
                      "SELECT written, (SELECT count(*) FROM keys WHERE parent = ?1),"
                      " (SELECT coalesce(max(units), 0) FROM keys WHERE parent = ?1),"
                      " (SELECT count(*) FROM vals WHERE key = ?1),"
                      " (SELECT coalesce(max(units), 0) FROM vals WHERE key = ?1),"
                      " (SELECT coalesce(max(length(data)), 0) FROM vals WHERE key = ?1)"
                      " FROM keys WHERE id = ?1");
        int rc = key.Bind(1, id).Step();
        if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
        if (rc != SQLITE_ROW) return ErrorFromSqlite(rc);
        auto column = [&](int i) { return static_cast<DWORD>(key.Number(i)); };
        if (lpClass != nullptr && *lpcClass > 0) lpClass[0] = 0;
        if (lpcClass != nullptr) *lpcClass = 0;
        if (lpcSubKeys != nullptr) *lpcSubKeys = column(1);
        if (lpcMaxSubKeyLen != nullptr) *lpcMaxSubKeyLen = column(2);
        if (lpcMaxClassLen != nullptr) *lpcMaxClassLen = 0;
        if (lpcValues != nullptr) *lpcValues = column(3);
        if (lpcMaxValueNameLen != nullptr) *lpcMaxValueNameLen = column(4);
        if (lpcMaxValueLen != nullptr) *lpcMaxValueLen = column(5);
        if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime != nullptr) {
            *lpftLastWriteTime = velmo::device::Split(static_cast<std::uint64_t>(key.Number(0)));
        }
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
    std::string folded = FoldedUtf8(View(lpValueName));
    return WithKey(hKey, [&](Registry& registry, std::int64_t id, const std::string& /*path*/) -> LONG {
        bool found = false;
        ValueRow row;
        LONG rc = ReadValue(registry.database, id, folded, found, row);
        if (rc != ERROR_SUCCESS) return rc;
        if (!found) {
            bool exists = false;
            rc = KeyExists(registry.database, id, exists);
            if (rc != ERROR_SUCCESS) return rc;
            return exists ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        }
        return DeliverData(row, lpType, lpData, lpcbData);
    });
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
    std::u16string_view name = View(lpValueName);
    if (name.size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    return velmo::device::WriteRegistryValues(hKey, {{std::u16string(name), dwType, {lpData, lpData + cbData}}});
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    std::vector<std::u16string> names;
    if (!SplitPath(View(lpSubKey), names)) return ERROR_BADKEY;
    return WithWritableKey(hKey, [&](Registry& registry, std::int64_t /*baseId*/, const std::string& basePath) -> LONG {
        Database& db = registry.database;
        std::string path = JoinPath(basePath, names, names.size());
        if (path.find('\\') == std::string::npos) return ERROR_ACCESS_DENIED;  // a root stays
        return InTransaction(db, [&]() -> LONG {
            std::int64_t id = 0;
            bool found = false;
            LONG rc = FindKey(db, path, id, found);
            if (rc != ERROR_SUCCESS) return rc;
            if (!found) return ERROR_FILE_NOT_FOUND;
            // The key and everything below it: paths equal to it or starting with it and a backslash.
            std::string low = path + "\\";
            std::string high = path + "]";  // ']' follows '\' in byte order
            for (const char* sql : {"DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE path = ?1"
                                    " OR (path >= ?2 AND path < ?3))",
                                    "DELETE FROM keys WHERE path = ?1 OR (path >= ?2 AND path < ?3)"}) {
                Statement q(db.sql, sql);
                int step = q.Bind(1, std::string_view(path))
                               .Bind(2, std::string_view(low))
                               .Bind(3, std::string_view(high))
                               .Step();
                if (step != SQLITE_DONE) return ErrorFromSqlite(step);
            }
            return ERROR_SUCCESS;
        });
    });
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    std::string folded = FoldedUtf8(View(lpValueName));
    return WithWritableKey(hKey, [&](Registry& registry, std::int64_t id, const std::string& /*path*/) -> LONG {
        Database& db = registry.database;
        return InTransaction(db, [&]() -> LONG {
            Statement q(db.sql, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
            int step = q.Bind(1, id).Bind(2, std::string_view(folded)).Step();
            if (step != SQLITE_DONE) return ErrorFromSqlite(step);
            if (db.sql.Changes() == 0) {
                bool exists = false;
                LONG rc = KeyExists(db, id, exists);
                if (rc != ERROR_SUCCESS) return rc;
                return exists ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
            }
            return Touch(db, id);
        });
    });
}

LONG RegCloseKey(HKEY hKey) {
    for (const auto& root : kRoots) {
        if (reinterpret_cast<ULONG_PTR>(hKey) == root.handle) return ERROR_SUCCESS;
    }
    Registry& registry = Registry::Instance();
    std::lock_guard lock(registry.mutex);
    auto it = registry.handles.find(hKey);
    if (it == registry.handles.end()) return ERROR_INVALID_HANDLE;
    registry.handles.erase(it);
    hKey->magic = 0;
    delete hKey;
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD /*lpReserved*/, LPWSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return EnumerateRow(hKey, dwIndex,
                        "SELECT name, written FROM keys WHERE parent = ?1 ORDER BY path LIMIT 1 OFFSET ?2", lpName,
                        lpcchName, [&](const Statement& row) -> LONG {
                            if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = 0;
                            if (lpcchClass != nullptr) *lpcchClass = 0;
                            if (lpftLastWriteTime != nullptr) {
                                *lpftLastWriteTime = velmo::device::Split(static_cast<std::uint64_t>(row.Number(1)));
                            }
                            return ERROR_SUCCESS;
                        });
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD /*lpReserved*/,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
    return EnumerateRow(hKey, dwIndex,
                        "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded LIMIT 1 OFFSET ?2",
                        lpValueName, lpcchValueName, [&](const Statement& row) -> LONG {
                            ValueRow value;
                            value.type = static_cast<DWORD>(row.Number(1));
                            value.data = row.Blob(2);
                            return DeliverData(value, lpType, lpData, lpcbData);
                        });
}

}  // extern "C"

namespace velmo::device {

void UseRegistryReadOnly(bool readOnly) {
    Registry& registry = Registry::Instance();
    std::lock_guard lock(registry.mutex);
    registry.access = readOnly ? Access::ReadOnly : Access::ReadWrite;
    registry.database.Disconnect();
}

LONG ReadRegistryValues(HKEY key, LPCWSTR subKey, std::vector<RegistryValue>& values) {
    values.clear();
    std::vector<std::u16string> names;
    if (!SplitPath(View(subKey), names)) return ERROR_BADKEY;
    return WithKey(key, [&](Registry& registry, std::int64_t /*baseId*/, const std::string& basePath) -> LONG {
        // The key's row comes with each of its values, or alone with nulls when it has none.
        Statement q(registry.database.sql,
                    "SELECT v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key = k.id"
                    " WHERE k.path = ?1 ORDER BY v.folded");
        q.Bind(1, std::string_view(JoinPath(basePath, names, names.size())));
        bool found = false;
        int rc;
        while ((rc = q.Step()) == SQLITE_ROW) {
            found = true;
            if (q.Type(0) == SQLITE_NULL) continue;
            values.push_back({ToUtf16(q.Utf8(0)), static_cast<DWORD>(q.Number(1)), q.Blob(2)});
        }
        if (rc != SQLITE_DONE) {
            values.clear();
            return ErrorFromSqlite(rc);
        }
        return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

}  // namespace velmo::device

LONG velmo::device::WriteRegistryValues(HKEY key, const std::vector<RegistryValue>& values) {
    for (const auto& value : values) {
        if (value.name.size() > kMaxValueNameLength || value.data.size() > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
    }
    return WithWritableKey(key, [&](Registry& registry, std::int64_t id, const std::string& /*path*/) -> LONG {
        Database& db = registry.database;
        return InTransaction(db, [&]() -> LONG {
            bool exists = false;
            LONG rc = KeyExists(db, id, exists);
            if (rc != ERROR_SUCCESS) return rc;
            if (!exists) return ERROR_KEY_DELETED;
            for (const auto& value : values) {
                rc = StoreValue(db, id, value.name, value.type, value.data.data(),
                                static_cast<DWORD>(value.data.size()));
                if (rc != ERROR_SUCCESS) return rc;
            }
            return Touch(db, id);
        });
    });
}

std::string velmo::device::RegistryDatabaseError() { return gDatabaseError; }
