#pragma once

// What the admission gate hands a running delivery: when it started, its
// cancellation, and the one place its result goes.

#include <cstdint>
#include <functional>

#include "delivery/DeliveryResult.h"
#include "runtime/CancelToken.h"

namespace murmo {

// Gets the uptime in nanoseconds right after a paste command went out.
using CommandDispatchedCallback = std::function<void(std::uint64_t)>;

struct DeliveryRun {
    // Uptime in seconds when the request was admitted: the base of every
    // elapsedMilliseconds of this request.
    double startedUptime = 0;
    // Fires on shutdown; the body checks it after every pause and before
    // every write, and ends without a result once it fired.
    CancelToken cancel;
    // Reports the one result. Dropped when the delivery no longer owns the
    // target (superseded, shut down, or the injector is gone).
    std::function<void(DeliveryResult)> complete;
};

}  // namespace murmo
