#include "runtime/SerialQueue.h"

#include <future>

namespace murmo {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
    std::promise<std::shared_ptr<ThreadLoop>> ready;
    auto loopCreated = ready.get_future();
    // The loop is made on its own thread, so it knows that thread as its own.
    thread_ = std::thread([&ready] {
        auto loop = std::make_shared<ThreadLoop>();
        ready.set_value(loop);
        loop->run();
    });
    loop_ = loopCreated.get();
}

SerialQueue::~SerialQueue() {
    loop_->quit();
    if (std::this_thread::get_id() == thread_.get_id()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void SerialQueue::post(Callback callback) { loop_->post(std::move(callback)); }

Timer SerialQueue::after(Duration delay, Callback callback) { return loop_->after(delay, std::move(callback)); }

Timer SerialQueue::every(Duration interval, Callback callback) { return loop_->every(interval, std::move(callback)); }

ReadableWatch SerialQueue::watchReadable(int fd, Callback callback) {
    return loop_->watchReadable(fd, std::move(callback));
}

bool SerialQueue::isCurrentThread() const { return loop_->isCurrentThread(); }

}  // namespace murmo
