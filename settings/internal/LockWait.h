#pragma once

// The wait for locks that another process holds: one deadline per operation,
// and the retries of a step until it is over.

#include <chrono>

#include "settings/internal/Sql.h"

namespace RegTools::Detail {

// How long one operation waits, in all, for locks another process holds.
inline constexpr std::chrono::seconds kLockWait{5};

class LockWait
{
public:
    LockWait() : m_deadline(std::chrono::steady_clock::now() + kLockWait) {}

    // The wait of the next operation begins now.
    void Restart() { m_deadline = std::chrono::steady_clock::now() + kLockWait; }

    // Sleeps a little before the next try at a lock (attempt counts from 0);
    // false when the lock wait is over.
    bool Pause(int attempt) const;

    // SQLite's busy handler; wait is the LockWait.
    static int OnBusy(void* wait, int attempt);

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
                if (!error.IsBusy() || !Pause(attempt)) {
                    throw;
                }
            }
        }
    }

private:
    std::chrono::steady_clock::time_point m_deadline;
};

} // namespace RegTools::Detail
