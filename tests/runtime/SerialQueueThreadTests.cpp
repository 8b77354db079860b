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
        EXPECT_TRUE(queue.isCurrentThread());
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
    EXPECT_FALSE(queue.isCurrentThread());
    std::promise<void> drained;
    queue.post([&] { drained.set_value(); });
    drained.get_future().wait();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

// Signals when the queue has dropped the callback that owned it, which is
// after the callback's batch has finished.
struct DroppedSignal {
    std::promise<void>* dropped;
    ~DroppedSignal() { dropped->set_value(); }
};

TEST(SerialQueueThreadTest, TheLastOwnerMayLetGoOnTheQueuesOwnThread) {
    auto queue = std::make_shared<SerialQueue>("test.serial");
    std::promise<void> dropped;
    auto signal = std::make_shared<DroppedSignal>(&dropped);
    std::promise<void> ownerLetGo;
    auto ownerGone = ownerLetGo.get_future();
    queue->post([&ownerGone] { ownerGone.wait(); });
    queue->post([signal = std::move(signal), queue]() mutable { queue.reset(); });
    queue.reset();
    ownerLetGo.set_value();
    // No deadlock, no crash: the thread was let go and ended on its own.
    EXPECT_EQ(dropped.get_future().wait_for(10s), std::future_status::ready);
}

}  // namespace
}  // namespace murmo
