#include "engine/ThreadReplySignal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace murmo {
namespace {

TEST(ThreadReplySignalThreadTest, ARaiseFromAnotherThreadEndsAWaitLongBeforeItsTimeout) {
    ThreadReplySignal signal;
    std::atomic<bool> waiting{false};
    std::thread transport([&] {
        while (!waiting.load()) std::this_thread::yield();
        signal.raise();
    });
    waiting.store(true);
    signal.waitFor(24h);  // would hang the test if the raise were lost
    transport.join();
}

TEST(ThreadReplySignalThreadTest, ARaisedOrExpiredSignalDoesNotBlock) {
    ThreadReplySignal raised;
    raised.raise();
    raised.raise();
    raised.waitFor(24h);

    ThreadReplySignal silent;
    silent.waitFor(Duration::zero());
}

}  // namespace
}  // namespace murmo
