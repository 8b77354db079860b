#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/WorkerThread.h"

namespace murmo {
namespace {

TEST(WorkerThread, RunsJobsInOrderOffTheCallingThreadAndFinishesThemAllBeforeDestruction) {
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<bool> ranElsewhere{true};
    const auto caller = std::this_thread::get_id();
    {
        WorkerThread worker;
        for (int i = 0; i < 50; ++i) {
            worker.post([&, i] {
                if (std::this_thread::get_id() == caller) ranElsewhere = false;
                // The first job is slow, so the rest are still queued when
                // the worker is destroyed.
                if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                std::lock_guard lock(mutex);
                order.push_back(i);
            });
        }
    }
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_TRUE(ranElsewhere);
}

TEST(WorkerThread, AJobMayPostAnotherThatStillRuns) {
    std::atomic<int> ran{0};
    {
        WorkerThread worker;
        worker.post([&] {
            EXPECT_TRUE(worker.isWorkerThread());
            worker.post([&] { ++ran; });
            ++ran;
        });
    }
    EXPECT_EQ(ran.load(), 2);
}

}  // namespace
}  // namespace murmo
