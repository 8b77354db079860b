#pragma once

#include <functional>
#include <memory>

#include "runtime/Clock.h"

namespace murmo {

// A one-shot signal between the transport's thread, which raises it when a
// reply arrives, and a caller that blocks until then or until a time-out.
// Injected so that tests can check the wait without waiting in real time.
class ReplySignal {
public:
    virtual ~ReplySignal() = default;
    // Any thread; later calls change nothing.
    virtual void raise() = 0;
    // Blocks until raised or until `timeout` has passed since the signal was
    // made, whichever comes first.
    virtual void waitFor(Duration timeout) = 0;
};

using ReplySignalFactory = std::function<std::shared_ptr<ReplySignal>()>;

}  // namespace murmo
