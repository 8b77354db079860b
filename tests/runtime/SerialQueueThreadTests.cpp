#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "runtime/SerialQueue.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

TEST(SerialQueueThreadTest, RunsPostsInOrderOnItsOwnThreadWithTimersThere) {
    SerialQueue queue("test.serial");
    std::vector<int> order;
    std::promise<std::thread::id> ranOn;
    std::promise<void> ticked;
    Timer timer;
    for (int i = 0; i < 100; ++i) queue.post([&order, i] { order.push_back(i); });
    queue.post([&] {
        ranOn.set_value(std::this_thread::get_id());
        EXPECT_TRUE(queue.isMainThread());
        auto ticks = std::make_shared<int>(0);
        timer = queue.every(1ms, [&, ticks] {
            if (++*ticks == 3) {
                timer.cancel();
                ticked.set_value();
            }
        });
    });
    EXPECT_NE(ranOn.get_future().get(), std::this_thread::get_id());
    EXPECT_EQ(ticked.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(queue.isMainThread());
    std::promise<void> drained;
    queue.post([&] { drained.set_value(); });
    drained.get_future().wait();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST(SerialQueueThreadTest, TheLastOwnerMayLetGoOnTheQueuesOwnThread) {
    auto queue = std::make_shared<SerialQueue>("test.serial");
    std::promise<void> released;
    queue->post([&released, queue = std::move(queue)]() mutable {
        queue.reset();
        released.set_value();
    });
    EXPECT_EQ(released.get_future().wait_for(10s), std::future_status::ready);
}

}  // namespace
}  // namespace murmo
