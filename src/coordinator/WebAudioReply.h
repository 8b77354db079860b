#pragma once

// The answer to one dashboard audio command, given exactly once. A reply
// dropped unanswered (its coordinator went away while the command waited)
// answers that the audio service is unavailable, so the page is never left
// waiting. Move-only; main thread.

#include <functional>

#include "runtime/JsonRead.h"

namespace murmo {

class WebAudioReply {
public:
    using Send = std::function<void(json::Json reply)>;

    explicit WebAudioReply(Send send) : send_(std::move(send)) {}
    ~WebAudioReply();
    WebAudioReply(WebAudioReply&& other) noexcept : send_(std::exchange(other.send_, nullptr)) {}
    WebAudioReply& operator=(WebAudioReply&&) = delete;
    WebAudioReply(const WebAudioReply&) = delete;
    WebAudioReply& operator=(const WebAudioReply&) = delete;

    // Later calls do nothing.
    void answer(json::Json reply);
    bool answered() const { return !send_; }

    // What a dropped reply answers.
    static json::Json unavailable();

private:
    Send send_;
};

}  // namespace murmo
