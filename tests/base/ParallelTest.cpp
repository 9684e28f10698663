#include "base/Parallel.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <numeric>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/RunInChild.h"

using Parallel::OrderedPipeline;

namespace {

struct Row
{
    int Threads;
    std::int64_t Count;
    std::size_t Window;
    std::set<std::int64_t> Failing; // items whose work throws
    std::set<std::int64_t> Slow;    // items whose work takes a while first
    std::int64_t Available;         // items available before the rest come
};

// Runs every kind of parallel work with threads threads and tells what came
// out: the pipeline's results, the loop's items, the sorted numbers and the
// tasks run, each summed up.
std::string RunAllKinds(int threads)
{
    constexpr std::int64_t kItems = 3000;
    std::string out;
    {
        OrderedPipeline<std::int64_t> pipeline(
            threads, 16, [](int, std::int64_t item, std::int64_t& result) { result = item * 2; });
        pipeline.MakeAvailable(kItems / 2);
        std::int64_t sum = 0;
        for (std::int64_t item = 0; item < kItems; ++item) {
            if (item == kItems / 2) {
                pipeline.MakeAvailable(kItems);
                pipeline.Close();
            }
            sum += pipeline.Take(item);
            pipeline.Release(item);
        }
        out += "pipeline " + std::to_string(sum);
    }
    std::vector<int> seen(kItems, 0);
    Parallel::ForEachIndex(threads, seen.size(), [&](int, std::size_t i) { ++seen[i]; });
    out += ", each " + std::to_string(std::accumulate(seen.begin(), seen.end(), 0));
    std::vector<std::int64_t> numbers(kItems);
    for (std::int64_t i = 0; i < kItems; ++i) {
        numbers[static_cast<std::size_t>(i)] = (i * 7919) % kItems;
    }
    Parallel::Sort(numbers.begin(), numbers.end(), std::less<>(), threads);
    out += std::is_sorted(numbers.begin(), numbers.end()) ? ", sorted" : ", unsorted";
    std::atomic<int> tasks{0};
    Parallel::TaskGroup group;
    for (int i = 0; i < threads; ++i) {
        group.Spawn([&] { ++tasks; });
    }
    group.Wait();
    out += ", tasks " + std::to_string(tasks.load());
    return out;
}

} // namespace

// Results come back in item order whatever order the threads finish them
// in, and the first failing item in that order is the failure the taker
// sees, also when a later item failed first.
TEST(OrderedPipeline, TakesResultsInOrderAndThrowsTheFirstFailureInOrder)
{
    const Row rows[] = {
        {.Threads = 1, .Count = 50, .Window = 4, .Failing = {}, .Slow = {3}, .Available = 50},
        {.Threads = 4, .Count = 300, .Window = 32, .Failing = {}, .Slow = {0, 7}, .Available = 1},
        {.Threads = 4, .Count = 100, .Window = 64, .Failing = {5, 9}, .Slow = {5}, .Available = 0},
        {.Threads = 8, .Count = 40, .Window = 32, .Failing = {0}, .Slow = {0}, .Available = 40},
        {.Threads = 3, .Count = 2, .Window = 1, .Failing = {}, .Slow = {}, .Available = 2},
        {.Threads = 2, .Count = 200, .Window = 8, .Failing = {150}, .Slow = {}, .Available = 200},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Threads << " threads, " << row.Count << " items");
        OrderedPipeline<std::int64_t> pool(
            row.Threads, row.Window, [&](int, std::int64_t item, std::int64_t& result) {
                if (row.Slow.count(item) > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
                if (row.Failing.count(item) > 0) {
                    throw std::runtime_error("item " + std::to_string(item));
                }
                result = item * item;
            });
        // One thread asked for is the taker itself.
        ASSERT_EQ(pool.Threads(), row.Threads < 2 ? 0 : row.Threads);
        pool.MakeAvailable(row.Available);
        pool.MakeAvailable(row.Count);
        pool.Close();
        const std::int64_t firstFailing = row.Failing.empty() ? row.Count : *row.Failing.begin();
        try {
            for (std::int64_t item = 0; item < row.Count; ++item) {
                ASSERT_EQ(pool.Take(item), item * item);
                pool.Release(item);
            }
            EXPECT_EQ(firstFailing, row.Count) << "no failure came";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "item " + std::to_string(firstFailing));
        }
    }
}

// The loop and the task group throw the failure of the first item (or the
// first task), whichever thread met it first, and nothing after a failed
// item is begun once the failure is known.
TEST(ParallelForEachAndTaskGroup, ThrowTheFirstFailureInOrder)
{
    const std::pair<int, std::set<std::size_t>> rows[] = {
        {1, {3}}, {4, {700, 20}}, {8, {0, 1, 2, 999}}, {3, {}}};
    for (const auto& [threads, failing] : rows) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        std::atomic<std::size_t> begun{0};
        std::string loop = "none";
        try {
            Parallel::ForEachIndex(threads, 1000, [&](int worker, std::size_t i) {
                EXPECT_LT(worker, threads);
                ++begun;
                if (failing.count(i) > 0) {
                    if (i != *failing.begin()) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                    throw std::runtime_error("item " + std::to_string(i));
                }
            });
        } catch (const std::runtime_error& error) {
            loop = error.what();
        }
        EXPECT_EQ(loop, failing.empty() ? "none" : "item " + std::to_string(*failing.begin()));
        if (!failing.empty() && *failing.begin() == 0 && threads == 1) {
            EXPECT_EQ(begun.load(), 1u);
        }

        std::string tasks = "none";
        Parallel::TaskGroup group;
        for (int task = 0; task < threads; ++task) {
            group.Spawn([task, &failing] {
                if (failing.count(static_cast<std::size_t>(task)) > 0) {
                    throw std::runtime_error("task " + std::to_string(task));
                }
            });
        }
        try {
            group.Wait();
        } catch (const std::runtime_error& error) {
            tasks = error.what();
        }
        std::string firstTask = "none";
        for (const std::size_t task : failing) {
            if (task < static_cast<std::size_t>(threads)) {
                firstTask = "task " + std::to_string(task);
                break;
            }
        }
        EXPECT_EQ(tasks, firstTask);
    }
}

// A process that may start no thread at all (the user's process limit is
// reached) does all the work on the calling thread: the same results, and
// never a wait for a thread that does not exist.
TEST(Parallel, WithoutThreadsToBeHadTheCallerDoesTheWork)
{
    const std::string expected = "pipeline 8997000, each 3000, sorted, tasks 4";
    EXPECT_EQ(RunAllKinds(4), expected);
    TestSupport::ChildOptions options{.Unprivileged = true, .Limits = {{RLIMIT_NPROC, 1}}};
    const TestSupport::ChildResult result = TestSupport::RunInChild(
        [] {
            ::alarm(60); // a hang ends the child
            std::thread probe;
            if (Parallel::TryStartThread(probe, [] {})) {
                probe.join();
                return std::string("a thread could still be started");
            }
            return RunAllKinds(4);
        },
        options);
    EXPECT_EQ(result.Ending(), "exit 0");
    EXPECT_EQ(result.Output, expected);
}
