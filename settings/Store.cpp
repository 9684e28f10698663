#include "settings/internal/Store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include "settings/RegTools.h"
#include "settings/internal/Paths.h"
#include "settings/internal/StoreFiles.h"
#include "settings/internal/WholeStoreMemo.h"

namespace RegTools::Detail {

namespace {

constexpr int kSchemaVersion = 1;

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

StoreLink::StoreLink(std::string file) : m_file(std::move(file))
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
    sqlite3_busy_handler(m_db, &LockWait::OnBusy, &m_lockWait);
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
    m_lockWait.Retrying([&] {
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

} // namespace RegTools::Detail
