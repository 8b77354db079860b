#include "runtime/GLibLoop.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RunLoopUntil.h"
#include "runtime/GLibSignalWatch.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

using testing::runLoopUntil;

constexpr int kThreads = 4;
constexpr int kPostsPerThread = 500;

TEST(GLibLoopThreadTest, PostsFromOtherThreadsKeepTheirOrderAndDueTimersFireInDueThenArmingOrder) {
    GLibLoop loop;
    std::vector<std::vector<int>> received(kThreads);
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&loop, &received, t] {
            for (int i = 0; i < kPostsPerThread; ++i) {
                loop.post([&loop, &received, t, i] {
                    EXPECT_TRUE(loop.isCurrentThread());
                    received[static_cast<std::size_t>(t)].push_back(i);
                });
            }
        });
    }

    std::vector<std::string> fired;
    auto record = [&](std::string name, Duration delay) {
        const auto earliest = loop.clock().uptimeNanoseconds() + static_cast<std::uint64_t>(delay.count());
        return loop.after(delay, [&, name, earliest] {
            EXPECT_GE(loop.clock().uptimeNanoseconds(), earliest) << name << " fired early";
            fired.push_back(name);
        });
    };
    std::vector<Timer> timers;
    timers.push_back(record("late", 30ms));
    timers.push_back(record("first@10", 10ms));
    timers.push_back(record("second@10", 10ms));
    timers.push_back(record("zero", 0ms));
    timers.push_back(record("cancelled", 5ms));
    timers.back().cancel();

    auto allPostsSeen = [&] {
        for (const auto& values : received) {
            if (values.size() != kPostsPerThread) return false;
        }
        return true;
    };
    EXPECT_TRUE(runLoopUntil(loop, [&] { return fired.size() == 4 && allPostsSeen(); }));
    for (auto& poster : posters) poster.join();

    EXPECT_EQ(fired, (std::vector<std::string>{"zero", "first@10", "second@10", "late"}));
    for (const auto& values : received) {
        for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], int(i));
    }
}

TEST(GLibLoopThreadTest, TimersCancelledInsideTheirOwnCallbackOrASiblingsStopThere) {
    GLibLoop loop;
    int ticks = 0;
    Timer repeating;
    repeating = loop.every(1ms, [&] {
        if (++ticks == 3) repeating.cancel();
    });
    bool siblingRan = false;
    Timer sibling;
    Timer first = loop.after(2ms, [&] { sibling.cancel(); });
    sibling = loop.after(2ms, [&] { siblingRan = true; });
    bool finished = false;
    Timer finish = loop.after(30ms, [&] { finished = true; });

    EXPECT_TRUE(runLoopUntil(loop, [&] { return finished; }));
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(repeating.armed());
    EXPECT_FALSE(siblingRan);
}

TEST(GLibLoopThreadTest, ATerminationSignalEndsTheLoopWithNothingBlockedOrLeftBehind) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        GLibLoop loop;
        int received = 0;
        {
            GLibSignalWatch watch(loop, {SIGINT, SIGTERM, SIGHUP}, [&](int which) {
                received = which;
                loop.quit();
            });
            std::thread sender([signal] { ::kill(::getpid(), signal); });
            loop.run();
            sender.join();
        }
        EXPECT_EQ(received, signal);

        sigset_t blocked;
        ::pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
        EXPECT_FALSE(sigismember(&blocked, signal));
        struct sigaction action{};
        ::sigaction(signal, nullptr, &action);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << "a dropped watch gives the signal back its default action";
    }
}

}  // namespace
}  // namespace murmo
