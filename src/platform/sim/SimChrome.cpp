#include "platform/sim/SimChrome.h"

namespace murmo {

bool SimChrome::setActivationPolicy(ActivationPolicy policy) {
    policyRequests_.push_back(policy);
    if (refused_.contains(policy)) return false;
    policy_ = policy;
    return true;
}

ObserverHandle SimChrome::observeLocaleChanges(std::function<void()> onChange) {
    return observers_.add(std::move(onChange));
}

void SimChrome::changeLocale() { observers_.notify(); }

}  // namespace murmo
