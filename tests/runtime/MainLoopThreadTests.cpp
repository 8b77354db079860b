#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/ManualLoop.h"
#include "runtime/ThreadLoop.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

constexpr int kThreads = 4;
constexpr int kPostsPerThread = 500;

// Each poster's values must arrive in the order it posted them.
void expectPerThreadFifo(const std::vector<std::pair<int, int>>& received) {
    std::vector<int> next(kThreads, 0);
    for (auto [thread, value] : received) {
        ASSERT_EQ(value, next[static_cast<std::size_t>(thread)]) << "thread " << thread;
        ++next[static_cast<std::size_t>(thread)];
    }
    for (int count : next) EXPECT_EQ(count, kPostsPerThread);
}

template <class Loop>
std::vector<std::thread> startPosters(Loop& loop, std::vector<std::pair<int, int>>& received) {
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&loop, &received, t] {
            for (int i = 0; i < kPostsPerThread; ++i) {
                loop.post([&loop, &received, t, i] {
                    EXPECT_TRUE(loop.isMainThread());
                    received.emplace_back(t, i);
                });
            }
        });
    }
    return posters;
}

TEST(MainLoopThreadTest, ManualLoopKeepsFifoOrderOfPostsFromSeveralThreads) {
    ManualLoop loop;
    std::vector<std::pair<int, int>> received;
    auto posters = startPosters(loop, received);
    loop.pumpUntil([&] { return received.size() == kThreads * kPostsPerThread; }, 10s);
    for (auto& poster : posters) poster.join();
    loop.runUntilIdle();
    expectPerThreadFifo(received);
}

TEST(MainLoopThreadTest, ThreadLoopKeepsFifoOrderAndRunsTimersOnItsThread) {
    ThreadLoop loop;
    std::vector<std::pair<int, int>> received;
    std::atomic<bool> offMainThreadSaysSo{false};
    auto posters = startPosters(loop, received);
    std::thread checker([&] { offMainThreadSaysSo = !loop.isMainThread(); });
    checker.join();

    bool timerRan = false;
    Timer timer;
    loop.post([&] {
        timer = loop.after(5ms, [&] {
            timerRan = true;
            EXPECT_TRUE(loop.isMainThread());
        });
    });
    Timer poll = loop.every(1ms, [&] {
        if (timerRan && received.size() == kThreads * kPostsPerThread) loop.quit();
    });
    // Ends a hung run instead of hanging the suite.
    std::atomic<bool> finished{false};
    std::thread quitGuard([&] {
        for (int i = 0; i < 2000 && !finished; ++i) std::this_thread::sleep_for(10ms);
        loop.quit();
    });
    loop.run();
    finished = true;
    quitGuard.join();
    for (auto& poster : posters) poster.join();
    EXPECT_TRUE(offMainThreadSaysSo);
    EXPECT_TRUE(timerRan);
    expectPerThreadFifo(received);
}

}  // namespace
}  // namespace murmo
