#include "runtime/ManualLoop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace murmo {
namespace {

TEST(ManualLoopTest, PostsRunInOrderIncludingPostsMadeByPosts) {
    ManualLoop loop;
    std::string order;
    loop.post([&] {
        order += 'a';
        loop.post([&] { order += 'c'; });
    });
    loop.post([&] { order += 'b'; });
    EXPECT_EQ(order, "");
    loop.runUntilIdle();
    EXPECT_EQ(order, "abc");
}

TEST(ManualLoopTest, TimersFireInDueTimeThenArmingOrderEachAtItsOwnTime) {
    ManualLoop loop;
    std::vector<std::pair<std::string, MonotonicTime>> fired;
    auto record = [&](std::string name) { return [&, name] { fired.emplace_back(name, loop.now()); }; };
    const auto start = loop.now();
    auto late = loop.after(30ms, record("late"));
    auto firstAt10 = loop.after(10ms, record("first@10"));
    auto secondAt10 = loop.after(10ms, record("second@10"));
    auto zero = loop.after(0ms, record("zero"));

    loop.advance(5ms);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].first, "zero");

    loop.advance(100ms);
    ASSERT_EQ(fired.size(), 4u);
    EXPECT_EQ(fired[1], std::make_pair(std::string("first@10"), start + 10ms));
    EXPECT_EQ(fired[2], std::make_pair(std::string("second@10"), start + 10ms));
    EXPECT_EQ(fired[3], std::make_pair(std::string("late"), start + 30ms));
    EXPECT_EQ(loop.now(), start + 105ms);
}

TEST(ManualLoopTest, TimersArmedByTimersFireWithinTheSameAdvance) {
    ManualLoop loop;
    std::vector<MonotonicTime> times;
    Timer inner;
    Timer outer = loop.after(10ms, [&] {
        times.push_back(loop.now());
        inner = loop.after(15ms, [&] { times.push_back(loop.now()); });
    });
    const auto start = loop.now();
    loop.advance(30ms);
    EXPECT_EQ(times, (std::vector<MonotonicTime>{start + 10ms, start + 25ms}));
}

TEST(ManualLoopTest, TheLongestDelaysNeverComeDueRatherThanWrapAround) {
    ManualLoop loop;
    int fired = 0;
    auto once = loop.after(Duration::max(), [&] { ++fired; });
    auto repeating = loop.every(Duration::max(), [&] { ++fired; });
    loop.advance(std::chrono::hours(24 * 365));
    EXPECT_EQ(fired, 0);
}

TEST(ManualLoopTest, SettingTheWallClockBackMovesNeitherMonotonicTimeNorTimers) {
    ManualLoop loop;
    int fired = 0;
    auto timer = loop.after(std::chrono::seconds(2), [&] { ++fired; });
    const auto wall = loop.clock().wallTime();
    const auto now = loop.now();
    loop.shiftWallTime(-std::chrono::hours(1));
    EXPECT_EQ(loop.clock().wallTime(), wall - std::chrono::hours(1));
    EXPECT_EQ(loop.now(), now);
    loop.advance(std::chrono::seconds(2));
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(loop.clock().wallTime(), wall - std::chrono::hours(1) + std::chrono::seconds(2));
}

TEST(ManualLoopTest, CancelStopsATimerAndIsIdempotent) {
    ManualLoop loop;
    int fired = 0;
    Timer timer = loop.after(10ms, [&] { ++fired; });
    EXPECT_TRUE(timer.armed());
    timer.cancel();
    timer.cancel();
    EXPECT_FALSE(timer.armed());
    loop.advance(1s);
    EXPECT_EQ(fired, 0);

    {
        Timer dropped = loop.after(10ms, [&] { ++fired; });
    }
    loop.advance(1s);
    EXPECT_EQ(fired, 0) << "a dropped handle cancels its timer";
}

TEST(ManualLoopTest, RepeatingTimerCanCancelItselfFromItsOwnCallback) {
    ManualLoop loop;
    int fired = 0;
    Timer timer;
    timer = loop.every(10ms, [&] {
        if (++fired == 3) timer.cancel();
    });
    loop.advance(1s);
    EXPECT_EQ(fired, 3);
    EXPECT_FALSE(timer.armed());
}

TEST(ManualLoopTest, OneShotTimerIsNoLongerArmedAfterFiring) {
    ManualLoop loop;
    Timer timer = loop.after(1ms, [] {});
    loop.advance(1ms);
    EXPECT_FALSE(timer.armed());
}

TEST(ManualLoopTest, DetachedTimerStillFires) {
    ManualLoop loop;
    bool fired = false;
    loop.after(1ms, [&] { fired = true; }).detach();
    loop.advance(1ms);
    EXPECT_TRUE(fired);
}

TEST(ManualLoopTest, PumpUntilMovesVirtualTimeWithRealTime) {
    ManualLoop loop;
    bool fired = false;
    Timer timer = loop.after(20ms, [&] { fired = true; });
    EXPECT_TRUE(loop.pumpUntil([&] { return fired; }, 5s));
    EXPECT_FALSE(loop.pumpUntil([] { return false; }, 10ms));
}

TEST(ManualLoopTest, DestroyingTheLoopDropsPendingCallbacks) {
    auto counter = std::make_shared<int>(0);
    {
        ManualLoop loop;
        loop.post([counter] {});
        Timer timer = loop.after(1s, [counter] {});
        timer.detach();
        EXPECT_EQ(counter.use_count(), 3);
    }
    EXPECT_EQ(counter.use_count(), 1);
}

TEST(ManualLoopTest, AdvanceClockOnlyRunsNothingAndOverdueTimersFireLateInOrder) {
    ManualLoop loop;
    const auto start = loop.now();
    std::vector<std::pair<int, Duration>> fired;
    auto first = loop.after(10ms, [&] { fired.emplace_back(1, loop.now() - start); });
    auto second = loop.after(20ms, [&] { fired.emplace_back(2, loop.now() - start); });
    auto third = loop.after(50ms, [&] { fired.emplace_back(3, loop.now() - start); });
    bool posted = false;
    loop.post([&] { posted = true; });

    loop.advanceClockOnly(30ms);
    loop.advanceClockOnly(-5ms);
    EXPECT_EQ(loop.now() - start, 30ms);
    EXPECT_TRUE(fired.empty());
    EXPECT_FALSE(posted);

    loop.runUntilIdle();
    EXPECT_TRUE(posted);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[0], std::make_pair(1, Duration{30ms}));
    EXPECT_EQ(fired[1], std::make_pair(2, Duration{30ms}));

    loop.advance(20ms);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[2], std::make_pair(3, Duration{50ms}));
}

}  // namespace
}  // namespace murmo
