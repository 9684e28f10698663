#pragma once

// One connection to the settings database for the duration of one operation.
// Internal to the settings library: callers use the RegTools functions.
//
// Layout of the database (kept readable with the sqlite3 shell):
//   reg_keys(id, hive, parent, name)   a key; parent 0 for a key at a hive's root
//   reg_values(key_id, name, type, data)   type 'string' (text) or 'integer'
// Key and value names compare without regard to ASCII letter case (COLLATE
// NOCASE), as the registry compares them; the case first written is kept.

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "settings/internal/LockWait.h"
#include "settings/internal/Sql.h"
#include "settings/internal/Transaction.h"

struct sqlite3;

namespace RegTools::Detail {

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
    void RestartLockWait() { m_lockWait.Restart(); }

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

    template <class Body> auto Run(bool write, Body&& body)
    {
        return m_lockWait.Retrying([&] {
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
    LockWait m_lockWait{};
    sqlite3* m_db = nullptr;
    bool m_exclusive = false;
};

} // namespace RegTools::Detail
