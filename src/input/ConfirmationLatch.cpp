#include "input/ConfirmationLatch.h"

namespace murmo {

void ConfirmationLatch::raise() {
    {
        std::lock_guard lock(mutex_);
        raised_ = true;
    }
    raisedChanged_.notify_all();
}

bool ConfirmationLatch::isRaised() const {
    std::lock_guard lock(mutex_);
    return raised_;
}

bool ConfirmationLatch::waitFor(Duration limit) const {
    std::unique_lock lock(mutex_);
    return raisedChanged_.wait_for(lock, limit, [this] { return raised_; });
}

}  // namespace murmo
