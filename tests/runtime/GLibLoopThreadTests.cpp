#include "runtime/glib/GLibLoop.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PostsFromThreads.h"
#include "RunLoopUntil.h"
#include "runtime/glib/GLibSignalWatch.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

using testing::runLoopUntil;

TEST(GLibLoopThreadTest, PostsFromOtherThreadsKeepTheirOrderAndDueTimersFireInDueThenArmingOrder) {
    GLibLoop loop;
    std::vector<std::pair<int, int>> received;
    auto posters = testing::startPosters(loop, received);

    std::vector<std::string> fired;
    auto record = [&](std::string name, Duration delay) {
        const auto earliest = loop.clock().now() + delay;
        return loop.after(delay, [&, name, earliest] {
            EXPECT_GE(loop.clock().now(), earliest) << name << " fired early";
            fired.push_back(name);
        });
    };
    // Delays far apart: arming takes a moment of its own, which a loaded
    // machine under a sanitizer can stretch to several milliseconds.
    std::vector<Timer> timers;
    timers.push_back(record("late", 300ms));
    timers.push_back(record("first@100", 100ms));
    timers.push_back(record("second@100", 100ms));
    timers.push_back(record("zero", 0ms));
    timers.push_back(record("cancelled", 50ms));
    timers.back().cancel();

    EXPECT_TRUE(runLoopUntil(loop, [&] {
        return fired.size() == 4 && received.size() == testing::kPosterThreads * testing::kPostsPerThread;
    }));
    for (auto& poster : posters) poster.join();

    EXPECT_EQ(fired, (std::vector<std::string>{"zero", "first@100", "second@100", "late"}));
    testing::expectPerThreadFifo(received);
}

// Armed from a post that another thread sends while the loop waits with
// nothing to do, and ended by a timer alone: so the run also shows that a post
// wakes the context and that the source's ready time follows the timers armed
// while it dispatches.
TEST(GLibLoopThreadTest, TimersCancelledInsideTheirOwnCallbackOrASiblingsStopThere) {
    GLibLoop loop;
    int ticks = 0;
    bool siblingRan = false;
    Timer repeating, first, sibling, finish;
    std::promise<void> running;
    std::thread poster([&] {
        running.get_future().wait();
        // Most likely the loop is waiting by now; if not, it finds the post anyway.
        std::this_thread::sleep_for(20ms);
        loop.post([&] {
            repeating = loop.every(1ms, [&] {
                if (++ticks == 3) repeating.cancel();
            });
            first = loop.after(2ms, [&] { sibling.cancel(); });
            sibling = loop.after(2ms, [&] { siblingRan = true; });
            finish = loop.after(30ms, [&] { loop.quit(); });
        });
    });
    loop.post([&] { running.set_value(); });

    loop.run();
    poster.join();
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
        struct sigaction action {};
        ::sigaction(signal, nullptr, &action);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << "a dropped watch gives the signal back its default action";
    }
}

}  // namespace
}  // namespace murmo
