#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/ReplySignal.h"

namespace murmo {

// The real signal: a condition variable whose time-out is counted on the
// steady clock from the signal's creation.
class ThreadReplySignal final : public ReplySignal {
public:
    ThreadReplySignal() = default;

    void raise() override;
    void waitFor(Duration timeout) override;

private:
    const std::chrono::steady_clock::time_point created_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable raisedChanged_;
    bool raised_ = false;
};

}  // namespace murmo
