#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "PostsFromThreads.h"
#include "runtime/ManualLoop.h"
#include "runtime/ThreadLoop.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

using testing::expectPerThreadFifo;
using testing::kPosterThreads;
using testing::kPostsPerThread;
using testing::startPosters;

TEST(MainLoopThreadTest, ManualLoopKeepsFifoOrderOfPostsFromSeveralThreads) {
    ManualLoop loop;
    std::vector<std::pair<int, int>> received;
    auto posters = startPosters(loop, received);
    loop.pumpUntil([&] { return received.size() == kPosterThreads * kPostsPerThread; }, 10s);
    for (auto& poster : posters) poster.join();
    loop.runUntilIdle();
    expectPerThreadFifo(received);
}

TEST(MainLoopThreadTest, ThreadLoopKeepsFifoOrderAndRunsTimersOnItsThread) {
    ThreadLoop loop;
    std::vector<std::pair<int, int>> received;
    std::atomic<bool> offMainThreadSaysSo{false};
    auto posters = startPosters(loop, received);
    std::thread checker([&] { offMainThreadSaysSo = !loop.isCurrentThread(); });
    checker.join();

    bool timerRan = false;
    Timer timer;
    loop.post([&] {
        timer = loop.after(5ms, [&] {
            timerRan = true;
            EXPECT_TRUE(loop.isCurrentThread());
        });
    });
    Timer poll = loop.every(1ms, [&] {
        if (timerRan && received.size() == kPosterThreads * kPostsPerThread) loop.quit();
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
