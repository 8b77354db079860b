#include "engine/ThreadReplySignal.h"

namespace murmo {

void ThreadReplySignal::raise() {
    {
        std::lock_guard lock(mutex_);
        raised_ = true;
    }
    raisedChanged_.notify_all();
}

void ThreadReplySignal::waitFor(Duration timeout) {
    std::unique_lock lock(mutex_);
    raisedChanged_.wait_until(lock, created_ + timeout, [this] { return raised_; });
}

}  // namespace murmo
