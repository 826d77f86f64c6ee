// The registry over one SQLite database shared by every process on the host.
//
// Keys are rows (id, parent, name) and values rows (key, name, type, data).
// Names compare without regard to ASCII case and keep the spelling they were
// created with; enumerations are in that case-blind alphabetical order. Every call is one
// transaction, so concurrent processes never lose a write: the database runs in WAL mode, writers
// start with BEGIN IMMEDIATE and wait for each other through SQLite's busy timeout.
//
// The file is PAR1_REGISTRY, by default registry.db in the system store or
// the caller's private one (platform/README.md); it is opened only in a
// checked store directory and never through a symbolic link.
#include "platform/linux/host_paths.h"
#include "platform/linux/sync.h"
#include "platform/win32.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

// A writer that holds the database (another process, perhaps for ever)
// makes a call wait this long at most, then fail with ERROR_TIMEOUT.
const int busyTimeoutMs = 1000;
const DWORD lockWaitMs = 3000;

// The predefined roots and the ids of their rows.
struct Root {
    HKEY key;
    int64_t id;
    const char* name;
};
const Root roots[] = {
    {HKEY_CLASSES_ROOT, 1, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, 2, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, 3, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, 4, "HKEY_USERS"},
    {reinterpret_cast<HKEY>(uintptr_t(0x80000005u)), 5, "HKEY_CURRENT_CONFIG"},
};

// Key handles are taken from a range that neither the kernel handle table
// (below 0x40000000) nor the predefined roots use.
const uintptr_t firstKeyHandle = 0x40000000u;
const uintptr_t lastKeyHandle = 0x7FFFFFFCu;

const size_t maxKeyNameLength = 255;
const size_t maxValueNameLength = 16383;

// A failed SQLite call inside a transaction.
struct SqliteFailure {
    int code;
};

// Orders names as Wine's registry does: ASCII letters folded to lower case
// (so "_a" sorts before "B"), other bytes as they are. SQLite's NOCASE is
// this order; this collation only reads stores made before the tables used
// NOCASE, to move them over.
int compareWindowsCase(void*, int length1, const void* text1, int length2, const void* text2) {
    const auto* a = static_cast<const unsigned char*>(text1);
    const auto* b = static_cast<const unsigned char*>(text2);
    const int length = length1 < length2 ? length1 : length2;
    for (int i = 0; i < length; ++i) {
        unsigned char ca = a[i] >= 'A' && a[i] <= 'Z' ? a[i] + ('a' - 'A') : a[i];
        unsigned char cb = b[i] >= 'A' && b[i] <= 'Z' ? b[i] + ('a' - 'A') : b[i];
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return length1 == length2 ? 0 : (length1 < length2 ? -1 : 1);
}

LSTATUS statusFromSqlite(int code) {
    switch (code & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_TIMEOUT; // another process held the database too long
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// One prepared statement in use; reset when the use ends.
class Statement {
public:
    explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}
    ~Statement() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, int64_t number) {
        check(sqlite3_bind_int64(statement_, index, number));
        return *this;
    }
    Statement& bind(int index, const std::string& text) {
        check(sqlite3_bind_text(statement_, index, text.data(), int(text.size()), SQLITE_STATIC));
        return *this;
    }
    Statement& bindBlob(int index, const void* data, size_t size) {
        // A zero-length blob is still a blob, never NULL.
        check(size == 0 ? sqlite3_bind_zeroblob(statement_, index, 0)
                        : sqlite3_bind_blob(statement_, index, data, int(size), SQLITE_STATIC));
        return *this;
    }
    // True while a row is available.
    bool step() {
        int code = sqlite3_step(statement_);
        if (code == SQLITE_ROW) {
            return true;
        }
        if (code == SQLITE_DONE) {
            return false;
        }
        throw SqliteFailure{code};
    }
    int64_t number(int column) { return sqlite3_column_int64(statement_, column); }
    std::string text(int column) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return text != nullptr ? std::string(text, size_t(sqlite3_column_bytes(statement_, column)))
                               : std::string();
    }
    std::vector<BYTE> blob(int column) {
        const auto* data = static_cast<const BYTE*>(sqlite3_column_blob(statement_, column));
        size_t size = size_t(sqlite3_column_bytes(statement_, column));
        return data != nullptr ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
    }

private:
    static void check(int code) {
        if (code != SQLITE_OK) {
            throw SqliteFailure{code};
        }
    }
    sqlite3_stmt* statement_;
};

struct OpenKey {
    int64_t id;
    REGSAM access;
};

// The process's connection to the store and its open key handles. All
// registry calls of the process run one at a time under its lock.
class Store {
public:
    std::mutex lock;
    std::unordered_map<uintptr_t, OpenKey> handles;
    uintptr_t nextHandle = firstKeyHandle - 4;

    // Opens the database on first use; 0 or the error of the attempt.
    LSTATUS connect() {
        if (db_ != nullptr) {
            return ERROR_SUCCESS;
        }
        const std::string path = platform::registryPath();
        if (LSTATUS status = prepareFile(path)) {
            return status;
        }
        sqlite3* db = nullptr;
        int code = sqlite3_open_v2(
            path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
            nullptr);
        if (code == SQLITE_OK) {
            code = sqlite3_create_collation_v2(db, "WINCASE", SQLITE_UTF8, nullptr,
                                               compareWindowsCase, nullptr);
        }
        if (code == SQLITE_OK) {
            code = sqlite3_busy_timeout(db, busyTimeoutMs);
        }
        if (code == SQLITE_OK) {
            code = initialise(db);
        }
        if (code != SQLITE_OK) {
            sqlite3_close(db);
            return statusFromSqlite(code);
        }
        db_ = db;
        return ERROR_SUCCESS;
    }

    int64_t lastInsertId() { return sqlite3_last_insert_rowid(db_); }
    int changes() { return sqlite3_changes(db_); }

    Statement statement(const char* sql) {
        auto it = statements_.find(sql);
        if (it == statements_.end()) {
            sqlite3_stmt* prepared = nullptr;
            int code =
                sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr);
            if (code != SQLITE_OK) {
                throw SqliteFailure{code};
            }
            it = statements_.emplace(sql, prepared).first;
        }
        return Statement(it->second);
    }

    // Runs body in one transaction and answers its status. A write
    // transaction takes the database's write lock at its start, so it never
    // has to give way half done; one that meets a busy database anyway
    // (recovery by another process) starts again.
    template <class Body> LSTATUS transaction(bool write, Body&& body) {
        platform::Deadline deadline(lockWaitMs);
        for (;;) {
            int code =
                sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
            LSTATUS status = ERROR_SUCCESS;
            if (code == SQLITE_OK) {
                try {
                    status = body();
                    code = sqlite3_exec(db_, status == ERROR_SUCCESS ? "COMMIT" : "ROLLBACK",
                                        nullptr, nullptr, nullptr);
                } catch (const SqliteFailure& failure) {
                    code = failure.code;
                }
            }
            if (code == SQLITE_OK) {
                return status;
            }
            if (!sqlite3_get_autocommit(db_)) {
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            }
            if ((code & 0xFF) != SQLITE_BUSY && (code & 0xFF) != SQLITE_LOCKED) {
                return statusFromSqlite(code);
            }
            if (deadline.expired()) {
                return ERROR_TIMEOUT;
            }
            usleep(10000);
        }
    }

private:
    // Creates the database file in its checked store directory with the
    // store's mode, and refuses one that is not a plain file of the store (a
    // symbolic link, a second name of another file).
    static LSTATUS prepareFile(const std::string& path) {
        const size_t slash = path.rfind('/');
        const std::string directory = slash == std::string::npos ? "."
                                      : slash == 0               ? "/"
                                                                 : path.substr(0, slash);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        platform::StateDirectory store;
        int error = platform::openStateDirectory(directory, store);
        if (error == 0) {
            int fd = platform::openStateFile(store, name, O_RDWR | O_CREAT | O_EXCL);
            if (fd >= 0) {
                fchmod(fd, store.fileMode); // whatever the umask
            } else if (fd == -EEXIST) {
                fd = platform::openStateFile(store, name, O_RDWR);
            }
            if (fd >= 0) {
                close(fd);
            } else {
                error = -fd;
            }
        }
        if (error == 0) {
            return ERROR_SUCCESS;
        }
        return error == EACCES || error == EPERM || error == EROFS ? ERROR_ACCESS_DENIED
                                                                   : ERROR_REGISTRY_IO_FAILED;
    }

    static int initialise(sqlite3* db) {
        // Switching to WAL needs the database to itself for a moment;
        // another process starting at the same time may hold it.
        int code = SQLITE_BUSY;
        platform::Deadline deadline(lockWaitMs);
        for (int attempt = 0; (code & 0xFF) == SQLITE_BUSY && !deadline.expired(); ++attempt) {
            if (attempt > 0) {
                usleep(10000);
            }
            code = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        }
        if (code != SQLITE_OK) {
            return code;
        }
        code = sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        if (code != SQLITE_OK) {
            return code;
        }
        std::string schema = "CREATE TABLE IF NOT EXISTS regkey" + std::string(keyTable) +
                             "CREATE TABLE IF NOT EXISTS regvalue" + valueTable;
        for (const Root& root : roots) {
            schema += "INSERT OR IGNORE INTO regkey(id, parent, name) VALUES(" +
                      std::to_string(root.id) + ", 0, '" + root.name + "');";
        }
        code = SQLITE_BUSY;
        while (!deadline.expired()) {
            code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            if (code == SQLITE_OK) {
                code = migrateFromWincase(db);
            }
            if (code == SQLITE_OK) {
                code = sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr);
            }
            if (code == SQLITE_OK) {
                code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            }
            if (!sqlite3_get_autocommit(db)) {
                sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            }
            if (code == SQLITE_OK || (code & 0xFF) != SQLITE_BUSY) {
                break;
            }
            usleep(10000);
        }
        return code;
    }

    // Tables made before names were ordered with SQLite's own NOCASE (the
    // same order) used a collation of this layer's, which no other program
    // knows: copied into tables that sqlite3 can check, in the running
    // transaction.
    static int migrateFromWincase(sqlite3* db) {
        sqlite3_stmt* query = nullptr;
        int code =
            sqlite3_prepare_v2(db,
                               "SELECT 1 FROM sqlite_master WHERE type = 'table'"
                               " AND name IN ('regkey', 'regvalue') AND sql LIKE '%WINCASE%'",
                               -1, &query, nullptr);
        if (code != SQLITE_OK) {
            return code;
        }
        code = sqlite3_step(query);
        sqlite3_finalize(query);
        if (code != SQLITE_ROW) {
            return code == SQLITE_DONE ? SQLITE_OK : code;
        }
        const std::string migration =
            "CREATE TABLE regkey_nocase" + std::string(keyTable) +
            "INSERT INTO regkey_nocase(id, parent, name) SELECT id, parent, name FROM regkey;"
            "CREATE TABLE regvalue_nocase" +
            valueTable +
            "INSERT INTO regvalue_nocase(key, name, type, data)"
            " SELECT key, name, type, data FROM regvalue;"
            "DROP TABLE regvalue; DROP TABLE regkey;"
            "ALTER TABLE regkey_nocase RENAME TO regkey;"
            "ALTER TABLE regvalue_nocase RENAME TO regvalue;";
        return sqlite3_exec(db, migration.c_str(), nullptr, nullptr, nullptr);
    }

    static constexpr const char* keyTable =
        "(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
        " name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));";
    static constexpr const char* valueTable =
        "(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL,"
        " data BLOB NOT NULL, PRIMARY KEY(key, name)) WITHOUT ROWID;";

    sqlite3* db_ = nullptr;
    std::map<const char*, sqlite3_stmt*> statements_;
};

Store& store() {
    // Never destroyed: other units' static objects may use the registry
    // while the process exits.
    static Store* instance = new Store;
    return *instance;
}

const REGSAM allKeyRights = KEY_ALL_ACCESS | KEY_WOW64_64KEY | KEY_WOW64_32KEY;

REGSAM mapGenericRights(REGSAM desired) {
    REGSAM rights = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                                0x02000000u /* MAXIMUM_ALLOWED */);
    if (desired & (GENERIC_READ | GENERIC_EXECUTE)) {
        rights |= KEY_READ;
    }
    if (desired & GENERIC_WRITE) {
        rights |= KEY_WRITE;
    }
    if (desired & (GENERIC_ALL | 0x02000000u)) {
        rights |= KEY_ALL_ACCESS;
    }
    return rights;
}

const Root* findRoot(HKEY key) {
    for (const Root& root : roots) {
        if (root.key == key) {
            return &root;
        }
    }
    return nullptr;
}

bool keyExists(Store& s, int64_t id) {
    return s.statement("SELECT 1 FROM regkey WHERE id = ?").bind(1, id).step();
}

// The key a handle names, checked inside the running transaction.
LSTATUS resolveKey(Store& s, HKEY key, REGSAM needed, OpenKey& resolved) {
    if (const Root* root = findRoot(key)) {
        resolved = OpenKey{root->id, allKeyRights};
    } else {
        auto it = s.handles.find(reinterpret_cast<uintptr_t>(key));
        if (it == s.handles.end()) {
            return ERROR_INVALID_HANDLE;
        }
        resolved = it->second;
    }
    if ((resolved.access & needed) != needed) {
        return ERROR_ACCESS_DENIED;
    }
    if (!keyExists(s, resolved.id)) {
        return ERROR_KEY_DELETED;
    }
    return ERROR_SUCCESS;
}

// Splits a key path at its backslashes. As on Windows, a leading backslash is
// refused and repeated or trailing ones are passed over.
LSTATUS splitPath(LPCSTR subKey, std::vector<std::string>& names) {
    names.clear();
    if (subKey == nullptr || *subKey == '\0') {
        return ERROR_SUCCESS;
    }
    if (*subKey == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    std::string name;
    for (const char* p = subKey;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (name.size() > maxKeyNameLength) {
                return ERROR_INVALID_PARAMETER;
            }
            if (!name.empty()) {
                names.push_back(name);
            }
            name.clear();
            if (*p == '\0') {
                break;
            }
        } else {
            name += *p;
        }
    }
    return ERROR_SUCCESS;
}

bool findChild(Store& s, int64_t parent, const std::string& name, int64_t& child) {
    Statement lookup = s.statement("SELECT id FROM regkey WHERE parent = ? AND name = ?");
    lookup.bind(1, parent).bind(2, name);
    if (!lookup.step()) {
        return false;
    }
    child = lookup.number(0);
    return true;
}

HKEY addKeyHandle(Store& s, int64_t id, REGSAM access) {
    do {
        s.nextHandle += 4;
        if (s.nextHandle > lastKeyHandle) {
            s.nextHandle = firstKeyHandle;
        }
    } while (s.handles.count(s.nextHandle) != 0);
    s.handles.emplace(s.nextHandle, OpenKey{id, access});
    return reinterpret_cast<HKEY>(s.nextHandle);
}

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Copies a value's data to the caller, and as Windows does ends a string
// stored without its NUL with one when the buffer has room for it; the size
// answered stays the stored one.
void copyData(LPBYTE data, DWORD room, DWORD type, const std::vector<BYTE>& stored) {
    if (!stored.empty()) {
        std::memcpy(data, stored.data(), stored.size());
    }
    if (isStringType(type) && !stored.empty() && stored.back() != 0 && room > stored.size()) {
        data[stored.size()] = 0;
    }
}

std::string valueNameOf(LPCSTR valueName) {
    return valueName != nullptr ? std::string(valueName) : std::string();
}

// Runs one registry call: takes the process's lock, connects, and answers
// the call's status; a failed connection is retried on the next call.
template <class Body> LSTATUS withStore(Body&& body) {
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.lock);
    if (LSTATUS status = s.connect()) {
        return status;
    }
    try {
        return body(s);
    } catch (const SqliteFailure& failure) {
        return statusFromSqlite(failure.code);
    }
}

LSTATUS openOrCreate(HKEY key, LPCSTR subKey, REGSAM desired, bool create, PHKEY result,
                     LPDWORD disposition) {
    std::vector<std::string> names;
    if (LSTATUS status = splitPath(subKey, names)) {
        return status;
    }
    const REGSAM access = mapGenericRights(desired);
    return withStore([&](Store& s) -> LSTATUS {
        int64_t id = 0;
        bool created = false;
        LSTATUS status = s.transaction(create, [&]() -> LSTATUS {
            OpenKey parent{};
            if (LSTATUS st = resolveKey(s, key, 0, parent)) {
                return st;
            }
            id = parent.id;
            created = false;
            for (const std::string& name : names) {
                int64_t child = 0;
                if (findChild(s, id, name, child)) {
                    id = child;
                    continue;
                }
                if (!create) {
                    return ERROR_FILE_NOT_FOUND;
                }
                Statement insert = s.statement("INSERT INTO regkey(parent, name) VALUES(?, ?)");
                insert.bind(1, id).bind(2, name).step();
                id = s.lastInsertId();
                created = true;
            }
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) {
            return status;
        }
        *result = addKeyHandle(s, id, access);
        if (disposition != nullptr) {
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return ERROR_SUCCESS;
    });
}

} // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE; // as Windows: the result left as it was
    }
    *result = nullptr;
    return openOrCreate(key, subKey, desired, false, result, nullptr);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired,
                        LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    // Access lists carry no meaning here: every key is open to all users of
    // the store. Volatile keys are kept like the others.
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE; // as Windows: the result left as it was
    }
    *result = nullptr;
    return openOrCreate(key, subKey, desired, true, result, disposition);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
    if (reserved != nullptr || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string name = valueNameOf(valueName);
    return withStore([&](Store& s) -> LSTATUS {
        DWORD storedType = REG_NONE;
        std::vector<BYTE> stored;
        LSTATUS status = s.transaction(false, [&]() -> LSTATUS {
            OpenKey open{};
            if (LSTATUS st = resolveKey(s, key, KEY_QUERY_VALUE, open)) {
                return st;
            }
            Statement query =
                s.statement("SELECT type, data FROM regvalue WHERE key = ? AND name = ?");
            query.bind(1, open.id).bind(2, name);
            if (!query.step()) {
                return ERROR_FILE_NOT_FOUND;
            }
            storedType = DWORD(query.number(0));
            stored = query.blob(1);
            return ERROR_SUCCESS;
        });
        if (status == ERROR_FILE_NOT_FOUND && data == nullptr && size != nullptr) {
            *size = 0; // as Windows, for a size query of a missing value
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (type != nullptr) {
            *type = storedType;
        }
        if (size == nullptr) {
            return ERROR_SUCCESS;
        }
        const DWORD needed = DWORD(stored.size());
        if (data != nullptr && *size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr) {
            copyData(data, *size, storedType, stored);
        }
        *size = needed;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD size) {
    if (data == nullptr && size != 0) {
        return ERROR_NOACCESS;
    }
    // As Windows: a string whose size leaves out the NUL that follows it is
    // stored with that NUL.
    if (isStringType(type) && size != 0 && data[size - 1] != 0 && data[size] == 0) {
        ++size;
    }
    const std::string name = valueNameOf(valueName);
    if (name.size() > maxValueNameLength) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& s) -> LSTATUS {
        return s.transaction(true, [&]() -> LSTATUS {
            OpenKey open{};
            if (LSTATUS st = resolveKey(s, key, KEY_SET_VALUE, open)) {
                return st;
            }
            // An existing value keeps the spelling of its name.
            Statement upsert = s.statement(
                "INSERT INTO regvalue(key, name, type, data) VALUES(?, ?, ?, ?)"
                " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
            upsert.bind(1, open.id).bind(2, name).bind(3, int64_t(type)).bindBlob(4, data, size);
            upsert.step();
            return ERROR_SUCCESS;
        });
    });
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    const std::string name = valueNameOf(valueName);
    return withStore([&](Store& s) -> LSTATUS {
        return s.transaction(true, [&]() -> LSTATUS {
            OpenKey open{};
            if (LSTATUS st = resolveKey(s, key, KEY_SET_VALUE, open)) {
                return st;
            }
            s.statement("DELETE FROM regvalue WHERE key = ? AND name = ?")
                .bind(1, open.id)
                .bind(2, name)
                .step();
            return s.changes() > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        });
    });
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::string> names;
    if (LSTATUS status = splitPath(subKey, names)) {
        return status;
    }
    return withStore([&](Store& s) -> LSTATUS {
        return s.transaction(true, [&]() -> LSTATUS {
            OpenKey open{};
            if (LSTATUS st = resolveKey(s, key, 0, open)) {
                return st;
            }
            int64_t id = open.id;
            for (const std::string& name : names) {
                if (!findChild(s, id, name, id)) {
                    return ERROR_FILE_NOT_FOUND;
                }
            }
            // Windows refuses to delete a root or a key that has subkeys.
            for (const Root& root : roots) {
                if (root.id == id) {
                    return ERROR_ACCESS_DENIED;
                }
            }
            if (s.statement("SELECT 1 FROM regkey WHERE parent = ? LIMIT 1").bind(1, id).step()) {
                return ERROR_ACCESS_DENIED;
            }
            s.statement("DELETE FROM regvalue WHERE key = ?").bind(1, id).step();
            s.statement("DELETE FROM regkey WHERE id = ?").bind(1, id).step();
            return ERROR_SUCCESS;
        });
    });
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                      LPSTR keyClass, LPDWORD classSize, void* lastWriteTime) {
    if (reserved != nullptr || name == nullptr || nameSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& s) -> LSTATUS {
        std::string found;
        LSTATUS status = s.transaction(false, [&]() -> LSTATUS {
            OpenKey open{};
            if (LSTATUS st = resolveKey(s, key, KEY_ENUMERATE_SUB_KEYS, open)) {
                return st;
            }
            Statement query = s.statement(
                "SELECT name FROM regkey WHERE parent = ? ORDER BY name LIMIT 1 OFFSET ?");
            query.bind(1, open.id).bind(2, int64_t(index));
            if (!query.step()) {
                return ERROR_NO_MORE_ITEMS;
            }
            found = query.text(0);
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) {
            return status;
        }
        // Keys have no class; the time of the last write is not kept.
        if (found.size() >= *nameSize ||
            (keyClass != nullptr && classSize != nullptr && *classSize == 0)) {
            return ERROR_MORE_DATA;
        }
        std::memcpy(name, found.c_str(), found.size() + 1);
        *nameSize = DWORD(found.size());
        if (keyClass != nullptr) {
            keyClass[0] = '\0';
        }
        if (classSize != nullptr) {
            *classSize = 0;
        }
        if (lastWriteTime != nullptr) {
            std::memset(lastWriteTime, 0, 8); // a FILETIME
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if (reserved != nullptr || valueName == nullptr || valueNameSize == nullptr ||
        (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& s) -> LSTATUS {
        std::string foundName;
        DWORD foundType = REG_NONE;
        std::vector<BYTE> stored;
        LSTATUS status = s.transaction(false, [&]() -> LSTATUS {
            OpenKey open{};
            if (LSTATUS st = resolveKey(s, key, KEY_QUERY_VALUE, open)) {
                return st;
            }
            Statement query = s.statement("SELECT name, type, data FROM regvalue WHERE key = ?"
                                          " ORDER BY name LIMIT 1 OFFSET ?");
            query.bind(1, open.id).bind(2, int64_t(index));
            if (!query.step()) {
                return ERROR_NO_MORE_ITEMS;
            }
            foundName = query.text(0);
            foundType = DWORD(query.number(1));
            stored = query.blob(2);
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) {
            return status;
        }
        const DWORD needed = DWORD(stored.size());
        if (type != nullptr) {
            *type = foundType;
        }
        if (dataSize != nullptr) {
            const DWORD room = *dataSize;
            const bool fits = data == nullptr || room >= needed;
            *dataSize = needed;
            if (!fits) {
                return ERROR_MORE_DATA; // as Windows: the name is left alone
            }
            // As Windows: the data is written even when the name then turns
            // out too long for its buffer.
            if (data != nullptr) {
                copyData(data, room, foundType, stored);
            }
        }
        if (foundName.size() >= *valueNameSize) {
            // As Windows: the name is cut to fit, and its size left alone.
            if (*valueNameSize > 0) {
                std::memcpy(valueName, foundName.data(), *valueNameSize - 1);
                valueName[*valueNameSize - 1] = '\0';
            }
            return ERROR_MORE_DATA;
        }
        std::memcpy(valueName, foundName.c_str(), foundName.size() + 1);
        *valueNameSize = DWORD(foundName.size());
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCloseKey(HKEY key) {
    if (findRoot(key) != nullptr) {
        return ERROR_SUCCESS;
    }
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.handles.erase(reinterpret_cast<uintptr_t>(key)) != 0 ? ERROR_SUCCESS
                                                                  : ERROR_INVALID_HANDLE;
}
