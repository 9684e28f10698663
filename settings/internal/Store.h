#pragma once

// One connection to the settings database for the duration of one operation.
// Internal to the settings library: callers use the RegTools functions.
//
// Layout of the database (kept readable with the sqlite3 shell):
//   reg_keys(id, hive, parent, name)   a key; parent 0 for a key at a hive's root
//   reg_values(key_id, name, type, data)   type 'string' (text) or 'integer'
// Key and value names compare without regard to ASCII letter case (COLLATE
// NOCASE), as the registry compares them; the case first written is kept.

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace RegTools::Detail {

enum class Hive
{
    Machine,     // the settings
    ClassesRoot, // folder and file type verbs
};

// How long one operation waits, in all, for locks another process holds.
inline constexpr std::chrono::seconds kLockWait{5};

// A failed SQLite call. Operations turn it into the StoreError text that
// fits what they were doing.
class SqlError : public std::runtime_error
{
public:
    SqlError(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}

    int Code() const { return m_code; }

    // The file is not a database, or its content is broken.
    bool IsDamage() const;
    // Another connection holds a lock this one needs.
    bool IsBusy() const;
    // The store cannot be written; the text says why.
    bool IsReadOnly() const;

private:
    int m_code;
};

// Why the settings store failed, after its name in an error text: "was
// locked by another process for more than 5 seconds", "cannot be written:
// Permission denied", ...
std::string StoreProblem(const SqlError& error);

// A key path split at "\": leading and trailing separators are dropped;
// nullopt when a name inside is empty ("a\\b"), which no key can have.
std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path);

struct StoredValue
{
    bool IsInteger = false;
    std::string Text{};          // string values, cut at the first NUL
    std::int64_t Integer = 0;    // integer values
    bool IntegerReadable = true; // false when an 'integer' row holds no number
};

// The id of a key that is missing and may not be created because the store
// cannot be written: it holds no values and no sub-keys.
inline constexpr std::int64_t kNoKey = -1;

// The statements one operation runs inside its transaction. On a store that
// cannot be written, a key that would be created on the way is kNoKey, and
// only a change that is really needed fails.
class Transaction
{
public:
    // cannotWrite: empty when the store can be written, else why not.
    Transaction(sqlite3* db, const std::string& cannotWrite) : m_db(db), m_cannotWrite(cannotWrite)
    {
    }

    std::optional<std::int64_t> FindKey(Hive hive, const std::vector<std::string>& path,
                                        std::int64_t from = 0);
    // Creates every missing key on the way; returns the last one.
    std::int64_t CreateKey(Hive hive, const std::vector<std::string>& path);
    std::optional<StoredValue> GetValue(std::int64_t keyId, const std::string& name);
    void PutString(std::int64_t keyId, const std::string& name, const std::string& text);
    void PutInteger(std::int64_t keyId, const std::string& name, std::int32_t value);
    void DeleteValue(std::int64_t keyId, const std::string& name);
    // The key, its sub-keys at every depth, and all their values.
    void DeleteKeyTree(std::int64_t keyId);
    // Throws the read-only SqlError when the store cannot be written.
    void MustWrite() const;

private:
    sqlite3* m_db;
    const std::string& m_cannotWrite;
};

// What the files of a store allow, seen before SQLite touches any of them.
struct StoreFiles;

// Opens (creating the folder and the file when missing) the store, checks
// that it is a whole database and sets it up; throws StoreError naming the
// file otherwise. A store that cannot be written is opened for reading only,
// in a way that creates and changes no file. Closes the connection when it
// goes.
class StoreLink
{
public:
    explicit StoreLink(std::string file);
    ~StoreLink();
    StoreLink(const StoreLink&) = delete;
    StoreLink& operator=(const StoreLink&) = delete;

    const std::string& File() const { return m_file; }

    bool Writable() const { return m_cannotWrite.empty(); }

    // Whether other operations may use this connection after the current
    // one: not when it holds the store locked for itself.
    bool Shareable() const { return !m_exclusive; }

    // The lock wait of the next operation on this connection begins now.
    void RestartLockWait() { m_lockDeadline = std::chrono::steady_clock::now() + kLockWait; }

    // Runs body(Transaction&) in one transaction and commits it. A write
    // takes the write lock at the start (BEGIN IMMEDIATE), so it never has to
    // upgrade a read lock and fail against a concurrent writer. A transaction
    // that meets another process's lock is retried until the lock wait is
    // over.
    template <class Body> auto Read(Body&& body) { return Run(false, std::forward<Body>(body)); }

    template <class Body> auto Write(Body&& body) { return Run(true, std::forward<Body>(body)); }

    // Looks the key up in a read transaction and runs body(Transaction&, id)
    // there; only when the key is missing is it created in a write
    // transaction, and body run there. Keeps the frequent reads from taking
    // the write lock while still creating the key on first use. On a store
    // that cannot be written a missing key stays missing: body gets kNoKey.
    template <class Body>
    auto ReadOrCreate(Hive hive, const std::vector<std::string>& path, Body&& body)
    {
        using Result = std::invoke_result_t<Body&, Transaction&, std::int64_t>;
        auto found = Read([&](Transaction& txn) -> std::optional<Result> {
            if (const auto id = txn.FindKey(hive, path)) {
                return body(txn, *id);
            }
            if (!Writable()) {
                return body(txn, kNoKey);
            }
            return std::nullopt;
        });
        if (found) {
            return std::move(*found);
        }
        return Write([&](Transaction& txn) { return body(txn, txn.CreateKey(hive, path)); });
    }

private:
    void Open(const StoreFiles& files);
    void CloseKeepingLog() noexcept;
    void Prepare(const StoreFiles& files);
    std::int64_t ReadLayoutVersion();
    bool HasOurTables();
    void CheckWhole(const StoreFiles& files);
    void UseWal();
    void CreateTables();
    void Begin(bool write);
    void Commit();
    void RollbackQuietly() noexcept;
    // Sleeps a little before the next try at a lock (attempt counts from 0);
    // false when the lock wait is over.
    bool PauseForLock(int attempt) const;
    static int OnBusy(void* link, int attempt);

    // Runs step again while it fails on a lock another process holds,
    // pausing between attempts, until the lock wait is over. SQLite's own
    // busy handler does not cover every lock: upgrading a read lock to a
    // write lock fails at once, for instance while two processes set up a
    // new store together.
    template <class Step> auto Retrying(Step&& step)
    {
        for (int attempt = 0;; ++attempt) {
            try {
                return step();
            } catch (const SqlError& error) {
                if (!error.IsBusy() || !PauseForLock(attempt)) {
                    throw;
                }
            }
        }
    }

    template <class Body> auto Run(bool write, Body&& body)
    {
        return Retrying([&] {
            try {
                Begin(write);
                Transaction txn(m_db, m_cannotWrite);
                auto result = body(txn);
                Commit();
                return result;
            } catch (...) {
                RollbackQuietly();
                throw;
            }
        });
    }

    std::string m_file;
    std::string m_cannotWrite{}; // why the store cannot be written; empty when it can
    std::chrono::steady_clock::time_point m_lockDeadline;
    sqlite3* m_db = nullptr;
    bool m_exclusive = false;
};

// Creates path and its missing parents with mode 0700; throws StoreError
// naming the folder.
void MakeFolders(const std::string& path, const std::string& purpose);

// $XDG_<kind>_HOME when it is an absolute path, else $HOME + fallback
// (".config", ".local/share"); throws StoreError when no home folder is known.
std::string XdgHome(const char* variable, const char* fallback);

} // namespace RegTools::Detail
