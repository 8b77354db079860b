#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

TEST(ManualLoopClockTest, AdvanceClockOnlyRunsNothingAndOverdueTimersFireLateInOrder) {
    ManualLoop loop;
    const auto start = loop.nowNanoseconds();
    std::vector<std::pair<int, std::uint64_t>> fired;
    auto first = loop.after(10ms, [&] { fired.emplace_back(1, loop.nowNanoseconds() - start); });
    auto second = loop.after(20ms, [&] { fired.emplace_back(2, loop.nowNanoseconds() - start); });
    auto third = loop.after(50ms, [&] { fired.emplace_back(3, loop.nowNanoseconds() - start); });
    bool posted = false;
    loop.post([&] { posted = true; });

    loop.advanceClockOnly(30ms);
    EXPECT_EQ(loop.nowNanoseconds() - start, 30'000'000u);
    EXPECT_TRUE(fired.empty());
    EXPECT_FALSE(posted);

    loop.runUntilIdle();
    EXPECT_TRUE(posted);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[0], std::make_pair(1, std::uint64_t{30'000'000}));
    EXPECT_EQ(fired[1], std::make_pair(2, std::uint64_t{30'000'000}));

    loop.advance(20ms);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[2], std::make_pair(3, std::uint64_t{50'000'000}));
}

TEST(ManualLoopClockTest, AdvanceClockOnlyIgnoresNegativeDurations) {
    ManualLoop loop;
    const auto start = loop.nowNanoseconds();
    loop.advanceClockOnly(-5ms);
    EXPECT_EQ(loop.nowNanoseconds(), start);
}

}  // namespace
}  // namespace murmo
