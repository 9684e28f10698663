#include "listing/internal/OrderedPool.h"

#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

using Listing::Detail::OrderedPool;

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

} // namespace

// Results come back in item order whatever order the threads finish them
// in, and the first failing item in that order is the failure the taker
// sees, also when a later item failed first.
TEST(OrderedPool, TakesResultsInOrderAndThrowsTheFirstFailureInOrder)
{
    const Row rows[] = {
        {.Threads = 1, .Count = 50, .Window = 4, .Failing = {}, .Slow = {3}, .Available = 50},
        {.Threads = 4, .Count = 300, .Window = 32, .Failing = {}, .Slow = {0, 7}, .Available = 1},
        {.Threads = 4, .Count = 100, .Window = 64, .Failing = {5, 9}, .Slow = {5}, .Available = 0},
        {.Threads = 8, .Count = 40, .Window = 32, .Failing = {0}, .Slow = {0}, .Available = 40},
        {.Threads = 3, .Count = 2, .Window = 1, .Failing = {}, .Slow = {}, .Available = 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Threads << " threads, " << row.Count << " items");
        OrderedPool<std::int64_t> pool(
            row.Threads, row.Window, [&](int, std::int64_t item, std::int64_t& result) {
                if (row.Slow.count(item) > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
                if (row.Failing.count(item) > 0) {
                    throw std::runtime_error("item " + std::to_string(item));
                }
                result = item * item;
            });
        ASSERT_GE(pool.Threads(), 1);
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
