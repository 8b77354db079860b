#include "input/ConfirmationWait.h"

namespace murmo {

namespace {

class RealTimeConfirmationWait final : public ConfirmationWait {
public:
    bool waitFor(const ConfirmationLatch& latch, Duration limit) override { return latch.waitFor(limit); }
};

}  // namespace

std::shared_ptr<ConfirmationWait> ConfirmationWait::realTime() {
    static const auto shared = std::make_shared<RealTimeConfirmationWait>();
    return shared;
}

}  // namespace murmo
