#pragma once

// Work run by a few threads at once. Two rules hold for everything here:
// - Fewer threads than asked: a thread the system does not give (no process
//   slots, no memory for its stack or state) is simply not there; the work is
//   done by the threads that did start, the calling thread included, and
//   nothing ever waits for a thread that does not exist.
// - Failures: the first failure (in item order where items have one, else in
//   the order the tasks were given) is thrown on the calling thread; the work
//   not yet begun after it is skipped.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace Parallel {

// Starts a thread, or tells that none could be had (false).
[[nodiscard]] bool TryStartThread(std::thread& thread, std::function<void()> body);

// Tasks run on threads of their own; Wait collects them.
class TaskGroup
{
public:
    TaskGroup() = default;
    // Waits for the tasks; a failure not collected by Wait is dropped.
    ~TaskGroup();
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;

    // Runs task on a new thread, or here and now when no thread can be had.
    void Spawn(std::function<void()> task);

    // Waits for every task, then throws the failure of the first task (in
    // the order they were spawned) that failed.
    void Wait();

private:
    struct Task
    {
        std::thread Thread{};
        std::exception_ptr Error{};
    };

    void JoinAll() noexcept;

    std::deque<Task> m_tasks{}; // elements never move while threads run
};

// Calls body(worker, i) for every i in [0, count), on up to threads threads
// (the calling thread is worker 0); worker numbers are below threads, and one
// worker runs one item at a time. Items are handed out in order.
void ForEachIndex(int threads, std::size_t count,
                  const std::function<void(int worker, std::size_t index)>& body);

// Sorts [first, last) by less, split into two halves sorted at once when
// threads > 1. less must be a strict total order (then the result is the
// same on any number of threads).
template <typename Iterator, typename Less>
void Sort(Iterator first, Iterator last, Less less, int threads)
{
    if (threads <= 1 || last - first < 2) {
        std::sort(first, last, less);
        return;
    }
    const Iterator middle = first + (last - first) / 2;
    TaskGroup group;
    group.Spawn([&] { std::sort(middle, last, less); });
    std::sort(first, middle, less);
    group.Wait();
    std::inplace_merge(first, middle, last, less);
}

// Numbered items (0, 1, 2, ...) worked on by a few threads of its own as
// they become available, in order; the thread that made the pipeline takes
// the results in the same order. At most a window of results waits to be
// taken, so memory stays bounded however far the taker falls behind. With
// fewer than two threads asked, or none to be had, the taker works on each
// item itself when it takes it.
template <typename Result> class OrderedPipeline
{
public:
    // Fills result for item index on worker (0 to threads - 1). A failure it
    // throws is thrown to the taker of that item.
    using Work = std::function<void(int worker, std::int64_t index, Result& result)>;

    OrderedPipeline(int threads, std::size_t window, Work work)
        : m_window(std::max<std::size_t>(window, 1)),
          m_batch(std::min(kBatch, static_cast<std::int64_t>(m_window))),
          m_slots(std::make_unique<Slot[]>(m_window)), m_work(std::move(work)),
          m_releaseStep(
              std::max<std::int64_t>(1, std::min(kBatch, static_cast<std::int64_t>(m_window) / 4)))
    {
        if (threads < 2) {
            return;
        }
        m_threads.reserve(static_cast<std::size_t>(threads));
        for (int worker = 0; worker < threads; ++worker) {
            std::thread thread;
            if (!TryStartThread(thread, [this, worker] { Run(worker); })) {
                break; // the threads that did start do all the work
            }
            m_threads.push_back(std::move(thread)); // reserved: cannot throw
        }
    }

    OrderedPipeline(const OrderedPipeline&) = delete;
    OrderedPipeline& operator=(const OrderedPipeline&) = delete;

    // Hands out no more items, lets the threads finish the items they hold
    // and waits for them.
    ~OrderedPipeline()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_workerCv.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    // The worker threads started (0 when the taker does the work).
    [[nodiscard]] int Threads() const { return static_cast<int>(m_threads.size()); }

    // Items 0 to count - 1 may be worked on now; count only grows.
    void MakeAvailable(std::int64_t count)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_available = count;
        }
        m_workerCv.notify_all();
    }

    // No item comes after those available.
    void Close()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_workerCv.notify_all();
    }

    // The result of item index, waited for; index is an available item, the
    // one after the last one released (0 at first). Throws what the work on
    // it threw.
    Result& Take(std::int64_t index)
    {
        Slot& slot = SlotOf(index);
        if (m_threads.empty()) {
            m_work(0, index, slot.Value);
            return slot.Value;
        }
        // A result that is there is taken without the lock.
        if (slot.Ready.load(std::memory_order_acquire) != index) {
            std::unique_lock lock(m_mutex);
            // The workers may be waiting for room that the taker has made
            // but not yet told of.
            if (PublishReleased() && m_idleWorkers > 0) {
                m_workerCv.notify_all();
            }
            // Waking for every item would cost a system call and a switch of
            // threads per item: the taker sleeps until a batch is done (or
            // all available ones), and then takes the whole batch.
            const std::int64_t batchEnd =
                std::max(index, std::min(index + m_batch, m_available) - 1);
            for (const std::int64_t wanted : {batchEnd, index}) {
                m_wanted = wanted;
                // Nothing after a failed item is worked on.
                m_takerCv.wait(lock, [&] {
                    return SlotOf(wanted).Ready.load(std::memory_order_relaxed) == wanted ||
                           m_failed < wanted;
                });
            }
            m_wanted = -1;
        }
        if (slot.Error) {
            std::rethrow_exception(std::exchange(slot.Error, nullptr));
        }
        return slot.Value;
    }

    // Done with the result of index (the one taken last): its place is free.
    // The workers hear of freed places a few at a time, or when the taker
    // waits.
    void Release(std::int64_t index)
    {
        if (m_threads.empty()) {
            return;
        }
        m_takenUpTo = index + 1;
        if (m_takenUpTo - m_toldUpTo < m_releaseStep) {
            return;
        }
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            wake = PublishReleased() && m_idleWorkers > 0;
        }
        if (wake) {
            m_workerCv.notify_all();
        }
    }

private:
    // The taker wakes at most once per this many items (or per window).
    static constexpr std::int64_t kBatch = 32;
    static constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
    // A worker takes as many items at once as it did in about this time
    // lately (at most kRun): quick items then cost one lock for a run of
    // them, and a slow item never keeps others waiting behind it.
    static constexpr double kRunNanoseconds = 50'000.0;
    static constexpr std::int64_t kRun = 16;

    // Ready and Error are written under the mutex; Value belongs to the
    // worker until Ready names its item, then to the taker until it is
    // released.
    struct Slot
    {
        std::atomic<std::int64_t> Ready{-1}; // the item whose result is here
        Result Value{};
        std::exception_ptr Error{};
    };

    Slot& SlotOf(std::int64_t index) { return m_slots[static_cast<std::size_t>(index) % m_window]; }

    // With the mutex held: tells the workers of the places the taker freed;
    // whether there were any.
    bool PublishReleased()
    {
        if (m_takenUpTo == m_toldUpTo) {
            return false;
        }
        m_toldUpTo = m_takenUpTo;
        m_released = m_takenUpTo;
        return true;
    }

    void Run(int worker)
    {
        double nanosecondsPerItem = kRunNanoseconds; // one item at first
        for (;;) {
            std::int64_t first = 0;
            std::int64_t end = 0;
            {
                std::unique_lock lock(m_mutex);
                const auto hopeless = [&] {
                    return m_stop || m_next > m_failed || (m_closed && m_next >= m_available);
                };
                const auto workable = [&] {
                    return m_next < m_available &&
                           m_next < m_released + static_cast<std::int64_t>(m_window);
                };
                ++m_idleWorkers;
                m_workerCv.wait(lock, [&] { return hopeless() || workable(); });
                --m_idleWorkers;
                if (hopeless()) {
                    return;
                }
                const auto run =
                    std::clamp(static_cast<std::int64_t>(kRunNanoseconds / nanosecondsPerItem),
                               std::int64_t{1}, kRun);
                first = m_next;
                end = std::min(
                    {first + run, m_available, m_released + static_cast<std::int64_t>(m_window)});
                m_next = end;
            }
            const auto started = std::chrono::steady_clock::now();
            std::int64_t done = first;
            std::exception_ptr error;
            // Nothing after a failed item is begun once the failure is known.
            for (; done < end && done <= m_failedSeen.load(std::memory_order_relaxed); ++done) {
                try {
                    m_work(worker, done, SlotOf(done).Value);
                } catch (...) {
                    error = std::current_exception();
                    break;
                }
            }
            const std::chrono::duration<double, std::nano> took =
                std::chrono::steady_clock::now() - started;
            if (done > first) {
                nanosecondsPerItem =
                    std::max(took.count() / static_cast<double>(done - first), 1.0);
            }
            bool wake = false;
            {
                const std::lock_guard lock(m_mutex);
                const std::int64_t readyEnd = error ? done + 1 : done;
                for (std::int64_t item = first; item < done; ++item) {
                    SlotOf(item).Ready.store(item, std::memory_order_release);
                }
                if (error) {
                    Slot& failed = SlotOf(done);
                    failed.Error = std::move(error);
                    failed.Ready.store(done, std::memory_order_release);
                    m_failed = std::min(m_failed, done);
                    m_failedSeen.store(m_failed, std::memory_order_relaxed);
                }
                wake = m_wanted >= 0 &&
                       ((first <= m_wanted && m_wanted < readyEnd) || m_failed < m_wanted);
            }
            if (wake) {
                m_takerCv.notify_one();
            }
        }
    }

    const std::size_t m_window;
    const std::int64_t m_batch;
    std::unique_ptr<Slot[]> m_slots;
    Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_takerCv;
    std::condition_variable m_workerCv;
    // Guarded by the mutex.
    std::int64_t m_next = 0;
    std::int64_t m_available = 0;
    std::int64_t m_released = 0;
    std::int64_t m_wanted = -1;
    std::int64_t m_failed = kNone; // the first failed item
    int m_idleWorkers = 0;
    bool m_closed = false;
    bool m_stop = false;
    // m_failed, read by the workers between the items of a run.
    std::atomic<std::int64_t> m_failedSeen{kNone};
    // The taker's own: the places it freed, and those the workers know of.
    std::int64_t m_takenUpTo = 0;
    std::int64_t m_toldUpTo = 0;
    const std::int64_t m_releaseStep;
    // Last: the threads end before what they use goes.
    std::vector<std::thread> m_threads{};
};

} // namespace Parallel
