#include "platform/sim/SimChrome.h"

namespace murmo {

SimChrome::SimChrome() : observers_(std::make_shared<Observers>()) {}

bool SimChrome::setActivationPolicy(ActivationPolicy policy) {
    policyRequests_.push_back(policy);
    if (refused_.contains(policy)) return false;
    policy_ = policy;
    return true;
}

ObserverHandle SimChrome::observeLocaleChanges(std::function<void()> onChange) {
    const int id = nextObserver_++;
    observers_->emplace(id, std::move(onChange));
    return ObserverHandle([weak = std::weak_ptr<Observers>(observers_), id] {
        if (auto observers = weak.lock()) observers->erase(id);
    });
}

void SimChrome::changeLocale() {
    // A copy: an observer may stop observing while it is told.
    const auto observers = *observers_;
    for (const auto& [id, onChange] : observers) {
        if (observers_->contains(id)) onChange();
    }
}

}  // namespace murmo
