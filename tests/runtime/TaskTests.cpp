#include "runtime/Task.h"

#include <gtest/gtest.h>

#include <optional>

#include "runtime/ManualLoop.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

Task<int> sleepThenAnswer(ManualLoop& loop, Duration delay, int answer) {
    co_await sleepFor(loop, delay);
    co_return answer;
}

TEST(TaskTest, SleepResumesAtTheVirtualTimeAndChainsValues) {
    ManualLoop loop;
    std::optional<int> result;
    MonotonicTime resumedAt;
    const auto start = loop.now();
    // The closure must outlive the coroutine, which refers to its captures.
    auto task = [&]() -> Task<void> {
        int a = co_await sleepThenAnswer(loop, 100ms, 20);
        int b = co_await sleepThenAnswer(loop, 50ms, 22);
        resumedAt = loop.now();
        result = a + b;
    };
    spawn(task());
    loop.advance(149ms);
    EXPECT_FALSE(result);
    loop.advance(1ms);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(resumedAt, start + 150ms);
}

TEST(TaskTest, TaskThatNeverSuspendsFinishesInsideSpawn) {
    bool ran = false;
    auto task = [&]() -> Task<void> {
        ran = true;
        co_return;
    };
    spawn(task());
    EXPECT_TRUE(ran);
}

TEST(TaskTest, CancelledSleepResumesPromptlyAndSaysSo) {
    ManualLoop loop;
    CancelToken token;
    std::optional<bool> slept;
    MonotonicTime resumedAt;
    auto task = [&]() -> Task<void> {
        slept = co_await sleepFor(loop, 10s, token);
        resumedAt = loop.now();
    };
    spawn(task());
    loop.advance(1s);
    const auto cancelledAt = loop.now();
    token.cancel();
    loop.runUntilIdle();
    EXPECT_EQ(slept, false);
    EXPECT_EQ(resumedAt, cancelledAt);

    std::optional<bool> again;
    auto secondTask = [&]() -> Task<void> { again = co_await sleepFor(loop, 10s, token); };
    spawn(secondTask());
    EXPECT_EQ(again, false) << "a sleep on a cancelled token does not suspend";
}

TEST(TaskTest, FullSleepReportsTrueEvenIfCancelledLater) {
    ManualLoop loop;
    CancelToken token;
    std::optional<bool> slept;
    auto task = [&]() -> Task<void> { slept = co_await sleepFor(loop, 1s, token); };
    spawn(task());
    loop.advance(1s);
    token.cancel();
    loop.runUntilIdle();
    EXPECT_EQ(slept, true);
}

// The pattern every component uses: hold the owner weakly, re-check it after
// each suspension.
struct Owner : std::enable_shared_from_this<Owner> {
    explicit Owner(ManualLoop& loop) : loop(loop) {}
    ManualLoop& loop;
    int actions = 0;
    CancelToken cancel;

    ~Owner() { cancel.cancel(); }

    void start(int& endedWithoutActing) { spawn(run(weak_from_this(), loop, cancel, endedWithoutActing)); }
    static Task<void> run(std::weak_ptr<Owner> weak, ManualLoop& loop, CancelToken cancel, int& endedWithoutActing) {
        co_await sleepFor(loop, 1s, cancel);
        auto self = weak.lock();
        if (!self) {
            ++endedWithoutActing;
            co_return;
        }
        ++self->actions;
    }
};

TEST(TaskTest, TaskWhoseOwnerIsGoneEndsWithoutActing) {
    ManualLoop loop;
    int endedWithoutActing = 0;
    auto owner = std::make_shared<Owner>(loop);
    owner->start(endedWithoutActing);
    owner.reset();
    loop.runUntilIdle();
    EXPECT_EQ(endedWithoutActing, 1);

    auto living = std::make_shared<Owner>(loop);
    living->start(endedWithoutActing);
    loop.advance(1s);
    EXPECT_EQ(living->actions, 1);
    EXPECT_EQ(endedWithoutActing, 1);
}

// Destroys its frame's locals when the chain is torn down.
struct DestructionProbe {
    bool* destroyed;
    ~DestructionProbe() { *destroyed = true; }
};

TEST(TaskTest, DroppingEveryResumerDestroysTheChainWithoutRunningIt) {
    ManualLoop loop;
    std::optional<Resumer<int>> stored;
    bool continued = false;
    bool destroyed = false;
    auto task = [&]() -> Task<void> {
        DestructionProbe probe{&destroyed};
        co_await suspendWith<int>(loop, [&](Resumer<int> resumer) { stored.emplace(std::move(resumer)); });
        continued = true;
    };
    spawn(task());
    EXPECT_FALSE(destroyed);
    stored.reset();
    loop.runUntilIdle();
    EXPECT_FALSE(continued);
    EXPECT_TRUE(destroyed);
}

TEST(TaskTest, ResumerDeliversItsValueOnceThroughTheLoop) {
    ManualLoop loop;
    std::optional<Resumer<std::string>> stored;
    std::optional<std::string> received;
    auto task = [&]() -> Task<void> {
        received = co_await suspendWith<std::string>(loop, [&](Resumer<std::string> r) { stored.emplace(r); });
    };
    spawn(task());
    stored->resume("first");
    stored->resume("second");
    EXPECT_FALSE(received) << "resumption is posted, never run inside the caller";
    loop.runUntilIdle();
    EXPECT_EQ(received, "first");
}

TEST(TaskTest, DestroyingTheLoopWithASleepingTaskFreesTheTask) {
    bool destroyed = false;
    {
        ManualLoop loop;
        auto task = [&]() -> Task<void> {
            DestructionProbe probe{&destroyed};
            co_await sleepFor(loop, 1h);
        };
        spawn(task());
    }
    EXPECT_TRUE(destroyed);
}

}  // namespace
}  // namespace murmo
