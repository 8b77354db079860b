#pragma once

#include <memory>

#include "input/ConfirmationLatch.h"
#include "runtime/Clock.h"

namespace murmo {

// How a caller spends the time it allows a confirmation. The real one waits in
// real time; a test's own can let the limit pass in virtual time, so that a
// time-out is checked exactly and costs nothing.
class ConfirmationWait {
public:
    virtual ~ConfirmationWait() = default;

    // Returns once `latch` is raised (true) or `limit` has passed (false).
    virtual bool waitFor(const ConfirmationLatch& latch, Duration limit) = 0;

    static std::shared_ptr<ConfirmationWait> realTime();
};

}  // namespace murmo
