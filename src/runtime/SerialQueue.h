#pragma once

#include <memory>
#include <string>
#include <thread>

#include "runtime/EventLoop.h"
#include "runtime/SystemClock.h"
#include "runtime/ThreadLoop.h"

namespace murmo {

// A serial queue: one background thread of its own, running callbacks one at a
// time. post() from any thread; after() and every() only from the queue's own
// thread (its timers and watches live there), just as a MainLoop's belong to
// the main thread. isCurrentThread() answers "am I on this queue's thread".
class SerialQueue final : public EventLoop {
public:
    explicit SerialQueue(std::string label);
    // Quits the thread and joins it. When the last owner lets go on the queue's
    // own thread, the thread is detached instead and ends after the current
    // callback; what is still queued is dropped.
    ~SerialQueue() override;

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(Callback callback) override;
    Timer after(Duration delay, Callback callback) override;
    Timer every(Duration interval, Callback callback) override;
    ReadableWatch watchReadable(int fd, Callback callback) override;
    bool isCurrentThread() const override;
    const Clock& clock() const override { return SystemClock::shared(); }

    const std::string& label() const { return label_; }

private:
    std::string label_;
    // Shared with the thread, so that neither quit() nor the thread's last
    // steps can outlive the loop.
    std::shared_ptr<ThreadLoop> loop_;
    std::thread thread_;
};

}  // namespace murmo
