#pragma once

// What the admission gate hands a running delivery: when it started, its
// cancellation, and the one place its result goes.

#include <functional>

#include "delivery/DeliveryResult.h"
#include "runtime/CancelToken.h"
#include "runtime/Clock.h"

namespace murmo {

// Gets the time right after a paste command went out.
using CommandDispatchedCallback = std::function<void(MonotonicTime)>;

struct DeliveryRun {
    // When the request was admitted: the base of every elapsed time of this
    // request.
    MonotonicTime startedAt{};
    // Fires on shutdown; the body checks it after every pause and before
    // every write, and ends without a result once it fired.
    CancelToken cancel;
    // Reports the one result. Dropped when the delivery no longer owns the
    // target (superseded, shut down, or the injector is gone).
    std::function<void(DeliveryResult)> complete;
};

}  // namespace murmo
