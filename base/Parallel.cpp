#include "base/Parallel.h"

#include <atomic>

namespace Parallel {

bool TryStartThread(std::thread& thread, std::function<void()> body)
{
    // Both the thread itself (no process slot, no stack) and its start-up
    // state (no memory) may be refused.
    try {
        thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

TaskGroup::~TaskGroup() { JoinAll(); }

void TaskGroup::Spawn(std::function<void()> task)
{
    Task& slot = m_tasks.emplace_back();
    const auto run = [&slot, task] {
        try {
            task();
        } catch (...) {
            slot.Error = std::current_exception();
        }
    };
    if (!TryStartThread(slot.Thread, run)) {
        run();
    }
}

void TaskGroup::Wait()
{
    JoinAll();
    std::exception_ptr first;
    for (const Task& task : m_tasks) {
        if (task.Error && !first) {
            first = task.Error;
        }
    }
    m_tasks.clear();
    if (first) {
        std::rethrow_exception(first);
    }
}

void TaskGroup::JoinAll() noexcept
{
    for (Task& task : m_tasks) {
        if (task.Thread.joinable()) {
            task.Thread.join();
        }
    }
}

void ForEachIndex(int threads, std::size_t count,
                  const std::function<void(int worker, std::size_t index)>& body)
{
    std::atomic<std::size_t> next{0};
    std::mutex failureLock;
    std::size_t failedAt = count; // guarded by failureLock
    std::atomic<std::size_t> stopAt{count};
    std::exception_ptr failure;
    const auto work = [&](int worker) {
        for (std::size_t index = next++; index < stopAt.load(); index = next++) {
            try {
                body(worker, index);
            } catch (...) {
                const std::lock_guard lock(failureLock);
                if (index < failedAt) {
                    failedAt = index;
                    failure = std::current_exception();
                    stopAt.store(index);
                }
            }
        }
    };
    const int helpers = static_cast<int>(std::min<std::size_t>(
        static_cast<std::size_t>(std::max(threads, 1)) - 1, count > 0 ? count - 1 : 0));
    {
        std::vector<std::thread> started;
        started.reserve(static_cast<std::size_t>(helpers));
        for (int worker = 1; worker <= helpers; ++worker) {
            std::thread thread;
            if (!TryStartThread(thread, [&work, worker] { work(worker); })) {
                break;
            }
            started.push_back(std::move(thread)); // reserved: cannot throw
        }
        work(0);
        for (std::thread& thread : started) {
            thread.join();
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace Parallel
