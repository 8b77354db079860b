#include "runtime/CancelToken.h"

#include <utility>

namespace murmo {

CancelToken::Subscription& CancelToken::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        reset();
        link_ = std::move(other.link_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void CancelToken::Subscription::reset() {
    if (auto link = link_.lock()) link->callbacks.erase(id_);
    link_.reset();
    id_ = 0;
}

CancelToken::CancelToken() : state_(std::make_shared<Subscription::Link>()) {}

void CancelToken::cancel() {
    if (state_->cancelled) return;
    state_->cancelled = true;
    // Callbacks may drop subscriptions (and so erase entries) as they run.
    auto callbacks = std::exchange(state_->callbacks, {});
    for (auto& [id, callback] : callbacks) callback();
}

bool CancelToken::isCancelled() const { return state_->cancelled; }

CancelToken::Subscription CancelToken::onCancel(std::function<void()> callback) const {
    Subscription subscription;
    if (state_->cancelled) {
        callback();
        return subscription;
    }
    subscription.id_ = state_->nextID++;
    subscription.link_ = state_;
    state_->callbacks.emplace(subscription.id_, std::move(callback));
    return subscription;
}

}  // namespace murmo
