#pragma once

// Work on numbered items by a few threads of its own: items are handed out in
// order (0, 1, 2, ...) as they become available, and the thread that made
// the pool takes the results in the same order. At most a window of results
// waits to be taken, so memory stays bounded however many items there are
// and however far the taker falls behind. Not part of the listing library's
// interface.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace Listing::Detail {

template <typename Result> class OrderedPool
{
public:
    // Fills result for item index on the pool thread worker (0 to threads - 1).
    // An exception it throws is kept and thrown to the taker of that result.
    using Work = std::function<void(int worker, std::int64_t index, Result& result)>;

    // Starts up to threads threads (fewer when the system gives no more;
    // Threads() tells how many). No item is available yet.
    OrderedPool(int threads, std::size_t window, Work work)
        : m_window(std::max<std::size_t>(window, 1)),
          m_batch(std::min(kBatch, static_cast<std::int64_t>(m_window))),
          m_slots(std::make_unique<Slot[]>(m_window)), m_work(std::move(work))
    {
        for (int worker = 0; worker < threads; ++worker) {
            try {
                m_threads.emplace_back([this, worker] { Run(worker); });
            } catch (const std::system_error&) {
                break; // the threads that did start do all the work
            }
        }
    }

    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    // Hands out no more items, lets the threads finish the items they hold
    // and waits for them.
    ~OrderedPool()
    {
        m_stop.store(true);
        WakeWorkers();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    [[nodiscard]] int Threads() const { return static_cast<int>(m_threads.size()); }

    // Items 0 to count - 1 may be worked on now; count only grows.
    void MakeAvailable(std::int64_t count)
    {
        m_available.store(count);
        WakeWorkers();
    }

    // No item comes after those available.
    void Close()
    {
        m_closed.store(true);
        WakeWorkers();
    }

    // The result of item index, waited for; index is an available item, the
    // one after the last one released (0 at first). Throws what the work on
    // it threw.
    Result& Take(std::int64_t index)
    {
        Slot& slot = SlotOf(index);
        if (slot.Ready.load() != index) {
            // Waking for every item would cost a system call and a switch of
            // threads per item: the taker sleeps until a batch is done (or
            // all available ones), and then takes the whole batch.
            std::unique_lock lock(m_mutex);
            const std::int64_t batchEnd =
                std::max(index, std::min(index + m_batch, m_available.load()) - 1);
            for (const std::int64_t wanted : {batchEnd, index}) {
                m_wanted.store(wanted);
                m_takerCv.wait(lock, [&] { return SlotOf(wanted).Ready.load() == wanted; });
            }
            m_wanted.store(-1);
        }
        if (slot.Error) {
            std::rethrow_exception(std::exchange(slot.Error, nullptr));
        }
        return slot.Value;
    }

    // Done with the result of index (the one taken last): its place is free.
    void Release(std::int64_t index)
    {
        m_released.store(index + 1);
        if (m_idleWorkers.load() > 0) {
            WakeWorkers();
        }
    }

private:
    // The taker wakes at most once per this many items (or per window).
    static constexpr std::int64_t kBatch = 32;

    struct Slot
    {
        std::atomic<std::int64_t> Ready{-1}; // the item whose result is here
        Result Value{};
        std::exception_ptr Error{};
    };

    Slot& SlotOf(std::int64_t index) { return m_slots[static_cast<std::size_t>(index) % m_window]; }

    void WakeWorkers()
    {
        const std::lock_guard lock(m_mutex);
        m_workerCv.notify_all();
    }

    void Run(int worker)
    {
        for (;;) {
            const std::int64_t index = m_next.fetch_add(1);
            if (!WaitUntilWorkable(index)) {
                return;
            }
            Slot& slot = SlotOf(index);
            try {
                m_work(worker, index, slot.Value);
            } catch (...) {
                slot.Error = std::current_exception();
            }
            slot.Ready.store(index);
            if (m_wanted.load() == index) {
                const std::lock_guard lock(m_mutex);
                m_takerCv.notify_one();
            }
        }
    }

    // Waits until index is available and its result has a place; false when
    // it never will be (the pool stops, or index lies past the last item).
    bool WaitUntilWorkable(std::int64_t index)
    {
        const auto workable = [&] {
            return index < m_available.load() &&
                   index < m_released.load() + static_cast<std::int64_t>(m_window);
        };
        const auto hopeless = [&] {
            return m_stop.load() || (m_closed.load() && index >= m_available.load());
        };
        if (!workable() && !hopeless()) {
            std::unique_lock lock(m_mutex);
            m_idleWorkers.fetch_add(1);
            m_workerCv.wait(lock, [&] { return workable() || hopeless(); });
            m_idleWorkers.fetch_sub(1);
        }
        return !hopeless();
    }

    const std::size_t m_window;
    const std::int64_t m_batch;
    std::unique_ptr<Slot[]> m_slots;
    Work m_work;
    // Sequentially consistent throughout: a waiter announces itself and then
    // looks, the other side changes and then looks for waiters, so one of the
    // two always sees the other.
    std::atomic<std::int64_t> m_next{0};
    std::atomic<std::int64_t> m_available{0};
    std::atomic<std::int64_t> m_released{0};
    std::atomic<std::int64_t> m_wanted{-1};
    std::atomic<int> m_idleWorkers{0};
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_takerCv;
    std::condition_variable m_workerCv;
    std::vector<std::thread> m_threads;
};

} // namespace Listing::Detail
