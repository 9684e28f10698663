#include "settings/internal/Store.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "settings/RegTools.h"

namespace RegTools::Detail {

namespace {

constexpr int kSchemaVersion = 1;

// Every SQLite database begins with these 16 bytes, in a header of 100.
constexpr char kMagic[] = "SQLite format 3";
constexpr std::size_t kHeaderSize = 100;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys (
    id INTEGER PRIMARY KEY,
    hive TEXT NOT NULL CHECK (hive IN ('machine', 'classes_root')),
    parent INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE (hive, parent, name)
);
CREATE TABLE IF NOT EXISTS reg_values (
    key_id INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    type TEXT NOT NULL CHECK (type IN ('string', 'integer')),
    data,
    PRIMARY KEY (key_id, name)
);
CREATE VIEW IF NOT EXISTS reg_paths (id, hive, path) AS
    WITH RECURSIVE p (id, hive, path) AS (
        SELECT id, hive, name FROM reg_keys WHERE parent = 0
        UNION ALL
        SELECT k.id, k.hive, p.path || '\' || k.name FROM reg_keys AS k JOIN p ON k.parent = p.id
    )
    SELECT id, hive, path FROM p;
CREATE VIEW IF NOT EXISTS reg_settings (hive, key, name, type, data) AS
    SELECT p.hive, p.path, v.name, v.type, v.data
    FROM reg_values AS v JOIN reg_paths AS p ON p.id = v.key_id;
PRAGMA user_version = 1;
)sql";

const char* HiveName(Hive hive) { return hive == Hive::Machine ? "machine" : "classes_root"; }

[[noreturn]] void ThrowLast(sqlite3* db)
{
    throw SqlError(sqlite3_extended_errcode(db), sqlite3_errmsg(db));
}

void Exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        ThrowLast(db);
    }
}

// Texts are bound without a copy (destructor nullptr): every bound string
// outlives the statement's steps.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            ThrowLast(db);
        }
    }

    ~Statement() { sqlite3_finalize(m_stmt); }

    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, const std::string& text)
    {
        Check(sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), nullptr, SQLITE_UTF8));
        return *this;
    }

    Statement& Bind(int index, const char* text)
    {
        Check(sqlite3_bind_text(m_stmt, index, text, -1, nullptr));
        return *this;
    }

    Statement& Bind(int index, std::int64_t value)
    {
        Check(sqlite3_bind_int64(m_stmt, index, value));
        return *this;
    }

    // True while there is a row.
    bool Step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            ThrowLast(m_db);
        }
        return false;
    }

    int Type(int column) const { return sqlite3_column_type(m_stmt, column); }

    std::int64_t Integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

    std::string Text(int column) const
    {
        const auto* text = sqlite3_column_text(m_stmt, column);
        const int size = sqlite3_column_bytes(m_stmt, column);
        if (text == nullptr) {
            return {};
        }
        return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
    }

private:
    void Check(int rc)
    {
        if (rc != SQLITE_OK) {
            ThrowLast(m_db);
        }
    }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

std::string CutAtNul(const std::string& text) { return text.substr(0, text.find('\0')); }

std::optional<std::int64_t> FindChild(sqlite3* db, Hive hive, std::int64_t parent,
                                      const std::string& name)
{
    Statement find(db, "SELECT id FROM reg_keys WHERE hive = ?1 AND parent = ?2 AND name = ?3");
    find.Bind(1, HiveName(hive)).Bind(2, parent).Bind(3, name);
    if (find.Step()) {
        return find.Integer(0);
    }
    return std::nullopt;
}

std::string FolderOf(const std::string& file)
{
    const auto slash = file.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : file.substr(0, slash);
}

// errno is left as the check found it.
bool MayWrite(const std::string& path, int mode = W_OK)
{
    return ::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// Why the store cannot be written, or "" when it can: the file itself, or the
// write-ahead log and its index beside it, which must exist or be creatable.
std::string WhyNotWritable(const std::string& file)
{
    if (!MayWrite(file)) {
        return std::strerror(errno);
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string companion = file + suffix;
        if (MayWrite(companion)) {
            continue;
        }
        if (errno != ENOENT) {
            return "'" + companion + "': " + std::strerror(errno);
        }
        if (!MayWrite(FolderOf(file), W_OK | X_OK)) {
            return "cannot create '" + companion + "': " + std::strerror(errno);
        }
    }
    return {};
}

// SQLite takes a file of one byte for an empty database and would write a
// fresh store over it; a file with any content must begin with a header.
// Called while the process holds no connection to the file: closing a
// descriptor of it would drop the locks of such a connection.
void CheckHeader(const std::string& file)
{
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        throw SqlError(SQLITE_CANTOPEN, std::strerror(errno));
    }
    char header[kHeaderSize];
    std::size_t got = 0;
    while (got < kHeaderSize) {
        const ssize_t n =
            ::pread(fd.Get(), header + got, kHeaderSize - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw SqlError(SQLITE_IOERR, std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got < kHeaderSize || std::memcmp(header, kMagic, sizeof kMagic) != 0) {
        throw SqlError(SQLITE_NOTADB, "file is not a database");
    }
}

// The path as a "file:" URI, for the open options only a URI can carry.
std::string FileUri(const std::string& path, const char* query)
{
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || std::strchr("/-._~", byte) != nullptr;
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xF];
        }
    }
    return uri + "?" + query;
}

} // namespace

// One file's identity and the times of its last change: a file changed in
// any way, or replaced, has another stamp.
struct FileStamp
{
    bool Exists = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0; // also moves when the modification time is set back
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct StoreFiles
{
    std::string CannotWrite{};   // why the store cannot be written; empty when it can
    bool LogHasChanges = false;  // the write-ahead log holds commits not yet in the file
    bool LogIndexUsable = false; // the log's shared index exists and has content
    FileStamp File{};
    FileStamp Log{};
};

namespace {

std::int64_t Nanoseconds(const timespec& time)
{
    return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
}

FileStamp StampOf(const struct stat& info)
{
    return {.Exists = true,
            .Device = info.st_dev,
            .Inode = info.st_ino,
            .Size = info.st_size,
            .ModifiedNs = Nanoseconds(info.st_mtim),
            .ChangedNs = Nanoseconds(info.st_ctim)};
}

FileStamp StampOf(const std::string& path)
{
    struct stat info
    {};

    return ::stat(path.c_str(), &info) == 0 ? StampOf(info) : FileStamp{};
}

// Looks at the files before SQLite opens any of them.
StoreFiles Inspect(const std::string& file)
{
    StoreFiles files;

    struct stat info
    {};

    if (::stat(file.c_str(), &info) != 0) {
        if (errno != ENOENT) {
            throw SqlError(SQLITE_CANTOPEN, std::strerror(errno));
        }
        if (!MayWrite(FolderOf(file), W_OK | X_OK)) {
            throw SqlError(SQLITE_CANTOPEN,
                           std::string("cannot create it: ") + std::strerror(errno));
        }
        return files;
    }
    if (!S_ISREG(info.st_mode)) {
        throw SqlError(SQLITE_CANTOPEN,
                       S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "it is not a regular file");
    }
    // Only an empty file is a fresh store.
    if (info.st_size > 0) {
        CheckHeader(file);
    }
    files.CannotWrite = WhyNotWritable(file);
    files.File = StampOf(info);
    files.Log = StampOf(file + "-wal");
    files.LogHasChanges = files.Log.Exists && files.Log.Size > 0;
    files.LogIndexUsable = StampOf(file + "-shm").Size > 0;
    return files;
}

// The store this process last found whole, by the stamps its files had just
// before the check. The operations of one profile load then read the whole
// store once, not each time. Only files whose last change is a second old
// are remembered: a later change then always gets another time, however
// coarse the file system's clock.
class WholeStoreMemo
{
public:
    bool Holds(const std::string& file, const StoreFiles& files)
    {
        const std::lock_guard lock(m_lock);
        return files.File.Exists && m_file == file && m_stamp == files.File &&
               m_logStamp == files.Log;
    }

    void Remember(const std::string& file, const StoreFiles& files)
    {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const std::int64_t settled = Nanoseconds(now) - 1000000000;
        const std::int64_t lastChange = std::max({files.File.ModifiedNs, files.File.ChangedNs,
                                                  files.Log.ModifiedNs, files.Log.ChangedNs});
        if (!files.File.Exists || lastChange > settled) {
            return;
        }
        const std::lock_guard lock(m_lock);
        m_file = file;
        m_stamp = files.File;
        m_logStamp = files.Log;
    }

private:
    std::mutex m_lock{};
    std::string m_file{};
    FileStamp m_stamp{};
    FileStamp m_logStamp{};
};

WholeStoreMemo& WholeStores()
{
    static WholeStoreMemo memo;
    return memo;
}

StoreError OpenError(const std::string& file, const SqlError& error)
{
    if (error.IsDamage()) {
        return StoreError("The settings store '" + file + "' is damaged: " + error.what());
    }
    if (error.IsBusy() || error.IsReadOnly()) {
        return StoreError("The settings store '" + file + "' " + StoreProblem(error));
    }
    return StoreError("Cannot open the settings store '" + file + "': " + error.what());
}

} // namespace

bool SqlError::IsDamage() const
{
    const int primary = m_code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool SqlError::IsBusy() const
{
    const int primary = m_code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool SqlError::IsReadOnly() const { return (m_code & 0xFF) == SQLITE_READONLY; }

std::string StoreProblem(const SqlError& error)
{
    if (error.IsBusy()) {
        return "was locked by another process for more than " + std::to_string(kLockWait.count()) +
               " seconds";
    }
    if (error.IsReadOnly()) {
        return std::string("cannot be written: ") + error.what();
    }
    return std::string("failed: ") + error.what();
}

std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path)
{
    std::size_t begin = 0;
    std::size_t end = path.size();
    while (begin < end && path[begin] == '\\') {
        ++begin;
    }
    while (end > begin && path[end - 1] == '\\') {
        --end;
    }
    std::vector<std::string> names;
    if (begin == end) {
        return names;
    }
    while (true) {
        const std::size_t split = path.find('\\', begin);
        const std::size_t stop = split == std::string::npos || split > end ? end : split;
        if (stop == begin) {
            return std::nullopt;
        }
        names.push_back(path.substr(begin, stop - begin));
        if (stop == end) {
            return names;
        }
        begin = stop + 1;
    }
}

std::optional<std::int64_t> Transaction::FindKey(Hive hive, const std::vector<std::string>& path,
                                                 std::int64_t from)
{
    if (from == kNoKey) {
        return std::nullopt;
    }
    std::int64_t id = from;
    for (const auto& name : path) {
        const auto child = FindChild(m_db, hive, id, name);
        if (!child) {
            return std::nullopt;
        }
        id = *child;
    }
    return id;
}

std::int64_t Transaction::CreateKey(Hive hive, const std::vector<std::string>& path)
{
    std::int64_t id = 0;
    for (const auto& name : path) {
        if (const auto child = FindChild(m_db, hive, id, name)) {
            id = *child;
            continue;
        }
        if (!m_cannotWrite.empty()) {
            return kNoKey;
        }
        Statement insert(m_db, "INSERT INTO reg_keys (hive, parent, name) VALUES (?1, ?2, ?3)");
        insert.Bind(1, HiveName(hive)).Bind(2, id).Bind(3, name).Step();
        id = sqlite3_last_insert_rowid(m_db);
    }
    return id;
}

std::optional<StoredValue> Transaction::GetValue(std::int64_t keyId, const std::string& name)
{
    Statement select(m_db, "SELECT type, data FROM reg_values WHERE key_id = ?1 AND name = ?2");
    select.Bind(1, keyId).Bind(2, name);
    if (!select.Step()) {
        return std::nullopt;
    }
    StoredValue value;
    value.IsInteger = select.Text(0) == "integer";
    if (value.IsInteger) {
        value.IntegerReadable = select.Type(1) == SQLITE_INTEGER;
        value.Integer = select.Integer(1);
    } else {
        value.Text = CutAtNul(select.Text(1));
    }
    return value;
}

void Transaction::PutString(std::int64_t keyId, const std::string& name, const std::string& text)
{
    MustWrite();
    // An existing value keeps the letter case of its name, as in the registry.
    const std::string stored = CutAtNul(text);
    Statement upsert(m_db, "INSERT INTO reg_values (key_id, name, type, data) "
                           "VALUES (?1, ?2, 'string', ?3) ON CONFLICT (key_id, name) "
                           "DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.Bind(1, keyId).Bind(2, name).Bind(3, stored).Step();
}

void Transaction::PutInteger(std::int64_t keyId, const std::string& name, std::int32_t value)
{
    MustWrite();
    Statement upsert(m_db, "INSERT INTO reg_values (key_id, name, type, data) "
                           "VALUES (?1, ?2, 'integer', ?3) ON CONFLICT (key_id, name) "
                           "DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.Bind(1, keyId).Bind(2, name).Bind(3, std::int64_t{value}).Step();
}

void Transaction::DeleteValue(std::int64_t keyId, const std::string& name)
{
    // Removing what is not there needs no write.
    if (!m_cannotWrite.empty() && !GetValue(keyId, name)) {
        return;
    }
    MustWrite();
    Statement erase(m_db, "DELETE FROM reg_values WHERE key_id = ?1 AND name = ?2");
    erase.Bind(1, keyId).Bind(2, name).Step();
}

void Transaction::DeleteKeyTree(std::int64_t keyId)
{
    MustWrite();
    constexpr const char* kTree =
        "WITH RECURSIVE tree (id) AS (SELECT ?1 UNION ALL "
        "SELECT k.id FROM reg_keys AS k JOIN tree ON k.parent = tree.id) ";
    Statement values(
        m_db, (std::string(kTree) + "DELETE FROM reg_values WHERE key_id IN (SELECT id FROM tree)")
                  .c_str());
    values.Bind(1, keyId).Step();
    Statement keys(
        m_db,
        (std::string(kTree) + "DELETE FROM reg_keys WHERE id IN (SELECT id FROM tree)").c_str());
    keys.Bind(1, keyId).Step();
}

void Transaction::MustWrite() const
{
    if (!m_cannotWrite.empty()) {
        throw SqlError(SQLITE_READONLY, m_cannotWrite);
    }
}

StoreLink::StoreLink(std::string file)
    : m_file(std::move(file)), m_lockDeadline(std::chrono::steady_clock::now() + kLockWait)
{
    const auto slash = m_file.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        MakeFolders(m_file.substr(0, slash), "the settings store");
    }
    try {
        const StoreFiles files = Inspect(m_file);
        m_cannotWrite = files.CannotWrite;
        Open(files);
        Prepare(files);
    } catch (const SqlError& error) {
        CloseKeepingLog();
        throw OpenError(m_file, error);
    }
}

StoreLink::~StoreLink() { sqlite3_close_v2(m_db); }

// Closing would copy a log of earlier writes into the file and delete it; a
// file found unusable keeps its log as it is. An empty log made by this open
// goes as usual.
void StoreLink::CloseKeepingLog() noexcept
{
    struct stat log
    {};

    if (m_db != nullptr && ::stat((m_file + "-wal").c_str(), &log) == 0 && log.st_size > 0) {
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void StoreLink::Open(const StoreFiles& files)
{
    std::string name = m_file;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (!Writable()) {
        // Opening the log or its index would create them, or give an empty
        // one the file's mode: read-only, which would keep out every later
        // writer. Without changes in the log the file alone is the store
        // (immutable: no log, no index, no locks); changes in the log are
        // read through the existing index without writing to it.
        if (files.LogHasChanges && !files.LogIndexUsable) {
            throw SqlError(SQLITE_READONLY, m_cannotWrite + ", and its log '" + m_file +
                                                "-wal' holds changes that only a writable "
                                                "store can read");
        }
        name = FileUri(m_file, files.LogHasChanges ? "readonly_shm=1" : "immutable=1");
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
    }
    const int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (m_db == nullptr) {
            throw SqlError(rc, sqlite3_errstr(rc));
        }
        ThrowLast(m_db);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_handler(m_db, &StoreLink::OnBusy, this);
    // A log without its index: the index would be rebuilt into a new -shm
    // file before the check could tell whether the store may be touched at
    // all. Locked exclusively (for this one operation), SQLite keeps the
    // index in memory instead.
    if (Writable() && files.LogHasChanges && !files.LogIndexUsable) {
        Exec(m_db, "PRAGMA locking_mode = EXCLUSIVE");
        m_exclusive = true;
    }
}

void StoreLink::Prepare(const StoreFiles& files)
{
    Retrying([&] {
        const std::int64_t version = ReadLayoutVersion();
        CheckWhole(files);
        if (!Writable()) {
            // An empty store needs its tables written first.
            if (version < kSchemaVersion) {
                throw SqlError(SQLITE_READONLY, m_cannotWrite);
            }
            return;
        }
        UseWal();
        if (version < kSchemaVersion) {
            CreateTables();
        }
    });
}

// Reading the schema is the first access to the file: a file that is not a
// database, or whose first page is broken, fails here, before anything could
// be written to it.
std::int64_t StoreLink::ReadLayoutVersion()
{
    Statement probe(m_db, "SELECT (SELECT count(*) FROM sqlite_master), "
                          "user_version FROM pragma_user_version");
    probe.Step();
    const std::int64_t objects = probe.Integer(0);
    const std::int64_t version = probe.Integer(1);
    if (version > kSchemaVersion) {
        throw SqlError(SQLITE_ERROR, "it was written by a newer Sonorix (layout version " +
                                         std::to_string(version) + ")");
    }
    // The tables and the layout version are written in one transaction:
    // tables without a version belong to another program, whose file must
    // not get ours added, and a version without our tables was set by
    // another program too. Either is refused before anything (the journal
    // mode in the header included) is written.
    if ((version == 0 && objects > 0) || (version > 0 && !HasOurTables())) {
        throw SqlError(SQLITE_NOTADB, "it is not a Sonorix settings database");
    }
    return version;
}

// Both tables, each with the columns the operations use.
bool StoreLink::HasOurTables()
{
    Statement columns(m_db, "SELECT (SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                            "name IN ('reg_keys', 'reg_values')), "
                            "(SELECT count(*) FROM pragma_table_info('reg_keys') "
                            "WHERE name IN ('id', 'hive', 'parent', 'name')), "
                            "(SELECT count(*) FROM pragma_table_info('reg_values') "
                            "WHERE name IN ('key_id', 'name', 'type', 'data'))");
    columns.Step();
    return columns.Integer(0) == 2 && columns.Integer(1) == 4 && columns.Integer(2) == 4;
}

// Damage away from the first page would otherwise show only when an
// operation reaches it, after others had written to the file; an index that
// no longer matches its table would let writes add a second value of one
// name. The full check reads every page and compares every table with its
// indexes; the store is a few dozen pages, and a file found whole once is
// not read again while it stays as it was.
void StoreLink::CheckWhole(const StoreFiles& files)
{
    if (WholeStores().Holds(m_file, files)) {
        return;
    }
    Statement check(m_db, "PRAGMA integrity_check(1)");
    if (check.Step() && check.Text(0) != "ok") {
        // The finding follows a line that names the schema.
        const std::string finding = check.Text(0);
        throw SqlError(SQLITE_CORRUPT, finding.substr(finding.rfind('\n') + 1));
    }
    WholeStores().Remember(m_file, files);
}

// WAL lets readers go on while the other process writes, and a killed
// process never leaves the file half-written. With WAL, synchronous=NORMAL
// makes every committed transaction survive the death of the process (the
// log is written before the commit returns); only a power cut may lose the
// last commits, never the consistency of the file.
void StoreLink::UseWal()
{
    const bool wal = [this] {
        Statement mode(m_db, "PRAGMA journal_mode");
        return mode.Step() && mode.Text(0) == "wal";
    }();
    if (!wal) {
        Exec(m_db, "PRAGMA journal_mode = WAL");
    }
    Exec(m_db, "PRAGMA synchronous = NORMAL");
}

void StoreLink::CreateTables()
{
    Write([this](Transaction&) {
        Exec(m_db, kSchema);
        return true;
    });
}

// A store that cannot be written takes no write lock; the transaction
// fails only when it must change something.
void StoreLink::Begin(bool write) { Exec(m_db, write && Writable() ? "BEGIN IMMEDIATE" : "BEGIN"); }

void StoreLink::Commit() { Exec(m_db, "COMMIT"); }

void StoreLink::RollbackQuietly() noexcept
{
    if (m_db != nullptr && sqlite3_get_autocommit(m_db) == 0) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

bool StoreLink::PauseForLock(int attempt) const
{
    const auto left = m_lockDeadline - std::chrono::steady_clock::now();
    if (left <= left.zero()) {
        return false;
    }
    // Short pauses first: most locks are held for a moment only.
    const std::chrono::steady_clock::duration pause =
        std::chrono::milliseconds(std::min(1 << std::min(attempt, 6), 50));
    std::this_thread::sleep_for(std::min(pause, left));
    return true;
}

int StoreLink::OnBusy(void* link, int attempt)
{
    return static_cast<const StoreLink*>(link)->PauseForLock(attempt) ? 1 : 0;
}

void MakeFolders(const std::string& path, const std::string& purpose)
{
    struct stat info
    {};

    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) == 0) {
            continue;
        }
        // An existing folder may refuse mkdir with another error than EEXIST
        // (a read-only file system, no write right on its parent).
        const int error = errno;
        if (::stat(part.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            throw StoreError("Cannot create the folder '" + part + "' for " + purpose + ": " +
                             std::strerror(error == EEXIST ? ENOTDIR : error));
        }
    }
}

std::string XdgHome(const char* variable, const char* fallback)
{
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        return value;
    }
    std::string home;
    if (const char* value = std::getenv("HOME"); value != nullptr && value[0] != '\0') {
        home = value;
    } else if (const passwd* entry = ::getpwuid(::getuid());
               entry != nullptr && entry->pw_dir != nullptr) {
        home = entry->pw_dir;
    }
    if (home.empty()) {
        throw StoreError(std::string("Cannot find the home folder: neither ") + variable +
                         " nor HOME is set");
    }
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home + "/" + fallback;
}

} // namespace RegTools::Detail
