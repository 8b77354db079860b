#pragma once

#include <functional>

#include "runtime/Clock.h"
#include "runtime/LoopHandle.h"

namespace murmo {

// A thread's run loop. The components that live on a loop are called only on
// its thread; other threads hand work over with post().
class EventLoop {
public:
    using Callback = std::function<void()>;

    virtual ~EventLoop() = default;

    // Any thread; callbacks run on the loop's thread in strict FIFO order.
    virtual void post(Callback callback) = 0;
    // Loop's thread. Runs once after the delay.
    virtual Timer after(Duration delay, Callback callback) = 0;
    // Loop's thread. Runs every interval until cancelled.
    virtual Timer every(Duration interval, Callback callback) = 0;
    // Loop's thread. Runs the callback on the loop's thread each time `fd` can
    // be read without blocking (data, end of stream or an error), until the
    // watch is dropped. The callback must read what is there, and drop the
    // watch at the end of the stream; drop it before closing `fd`.
    virtual ReadableWatch watchReadable(int fd, Callback callback) = 0;
    virtual bool isCurrentThread() const = 0;
    virtual const Clock& clock() const = 0;
};

}  // namespace murmo
