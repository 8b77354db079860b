#include "platform/sim/SimKeyTap.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <thread>

namespace murmo {

namespace {

using SteadyClock = std::chrono::steady_clock;

// One event waiting for a thread-served tap.
struct Pending {
    KeyTapEvent event;
    bool taken = false;
    bool done = false;
    KeyTapVerdict verdict = KeyTapVerdict::pass;
};

}  // namespace

struct SimKeyTap::State {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool listenEventAccess = true;
    bool grantsListenAccessOnRequest = false;
    int listenAccessRequests = 0;
    bool accessibilityTrusted = true;
    bool creationFails = false;
    bool swallowClaimsRefused = false;
    bool attachmentsHeld = false;
    std::uint64_t nextTapID = 0;
    std::vector<std::weak_ptr<Tap>> taps;
    std::vector<Delivery> deliveries;
};

class SimKeyTap::Tap final : public KeyEventTap, public std::enable_shared_from_this<SimKeyTap::Tap> {
public:
    Tap(std::shared_ptr<State> state, KeyTapCallback callback, std::uint64_t id)
        : state_(std::move(state)), callback_(std::move(callback)), id_(id) {}

    void setEnabled(bool enabled) override {
        std::lock_guard lock(state_->mutex);
        if (valid_) enabled_ = enabled;
        state_->changed.notify_all();
    }

    bool isEnabled() const override {
        std::lock_guard lock(state_->mutex);
        return enabled_;
    }

    void invalidate() override {
        std::lock_guard lock(state_->mutex);
        valid_ = false;
        enabled_ = false;
        callback_ = nullptr;
        claims_.reset();
        state_->changed.notify_all();
    }

    bool setSwallowCandidates(const KeyTapSwallowCandidates& candidates) override {
        std::lock_guard lock(state_->mutex);
        claims_.reset();
        if (!valid_ || state_->swallowClaimsRefused) return false;
        claims_ = candidates;
        return true;
    }

    void attachToCurrentThread() override {
        std::unique_lock lock(state_->mutex);
        state_->changed.wait(lock, [&] { return !state_->attachmentsHeld; });
        servingThread_ = std::this_thread::get_id();
        state_->changed.notify_all();
    }

    bool runOnce(Duration timeout) override {
        std::unique_lock lock(state_->mutex);
        const auto deadline = SteadyClock::now() + timeout;
        const auto self = std::this_thread::get_id();
        std::shared_ptr<Pending> pending;
        while (true) {
            if (servingThread_ != self) return false;
            if (valid_ && !queue_.empty()) break;
            if (state_->changed.wait_until(lock, deadline) == std::cv_status::timeout) {
                if (servingThread_ != self || !valid_ || queue_.empty()) return false;
                break;
            }
        }
        pending = queue_.front();
        queue_.pop_front();
        pending->taken = true;
        handle(lock, *pending);
        return true;
    }

    void detachThread() override {
        std::lock_guard lock(state_->mutex);
        servingThread_.reset();
        state_->changed.notify_all();
    }

    void attachToMainLoop(MainLoop& loop) override {
        std::lock_guard lock(state_->mutex);
        mainLoop_ = &loop;
    }

    void detachFromMainLoop() override {
        std::lock_guard lock(state_->mutex);
        mainLoop_ = nullptr;
    }

    // Under the state lock. A key event goes only to an enabled, served tap;
    // a notice goes to every served one.
    bool acceptsLocked(const KeyTapEvent& event) const {
        if (!valid_ || (!servingThread_ && !mainLoop_)) return false;
        return enabled_ || isTapDisabledNotice(event.type);
    }

    // Hands one event to the callback wherever the tap is served and returns
    // the verdict; the lock is held on entry and on return.
    KeyTapVerdict deliver(std::unique_lock<std::mutex>& lock, const KeyTapEvent& event) {
        if (mainLoop_ && !servingThread_) {
            if (mainLoop_->isCurrentThread()) {
                Pending pending{event};
                handle(lock, pending);
                return pending.verdict;
            }
            auto pending = std::make_shared<Pending>(Pending{event});
            auto state = state_;
            std::weak_ptr<Tap> weakTap = weak_from_this();
            mainLoop_->post([weakTap, pending, state] {
                auto tap = weakTap.lock();
                std::unique_lock inner(state->mutex);
                if (tap && !pending->taken) {
                    pending->taken = true;
                    tap->handle(inner, *pending);
                }
                pending->done = true;
                state->changed.notify_all();
            });
            return awaitVerdict(lock, pending);
        }
        auto pending = std::make_shared<Pending>(Pending{event});
        queue_.push_back(pending);
        state_->changed.notify_all();
        return awaitVerdict(lock, pending);
    }

    std::uint64_t id() const { return id_; }
    bool validLocked() const { return valid_; }
    bool enabledLocked() const { return enabled_; }
    bool threadServedLocked() const { return servingThread_.has_value(); }
    void disableLocked() { enabled_ = false; }
    const std::optional<KeyTapSwallowCandidates>& claimsLocked() const { return claims_; }

private:
    // Calls the callback outside the lock and records the verdict.
    void handle(std::unique_lock<std::mutex>& lock, Pending& pending) {
        auto callback = callback_;
        KeyTapVerdict verdict = KeyTapVerdict::pass;
        if (callback) {
            lock.unlock();
            verdict = callback(pending.event);
            lock.lock();
        }
        if (isTapDisabledNotice(pending.event.type)) verdict = KeyTapVerdict::pass;
        pending.verdict = verdict;
        pending.done = true;
        state_->deliveries.push_back(Delivery{id_, pending.event, verdict});
        state_->changed.notify_all();
    }

    KeyTapVerdict awaitVerdict(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Pending>& pending) {
        const auto deadline = SteadyClock::now() + kDeliveryTimeout;
        while (!pending->done) {
            // An invalidated tap or one its thread left will never answer.
            if (!pending->taken && (!valid_ || (!servingThread_ && !mainLoop_))) break;
            if (state_->changed.wait_until(lock, deadline) == std::cv_status::timeout) break;
        }
        if (!pending->done && !pending->taken) {
            pending->taken = true;
            std::erase(queue_, pending);
        }
        return pending->done ? pending->verdict : KeyTapVerdict::pass;
    }

    std::shared_ptr<State> state_;
    KeyTapCallback callback_;
    std::uint64_t id_;
    bool enabled_ = false;
    bool valid_ = true;
    std::optional<std::thread::id> servingThread_;
    MainLoop* mainLoop_ = nullptr;
    std::deque<std::shared_ptr<Pending>> queue_;
    std::optional<KeyTapSwallowCandidates> claims_;
};

SimKeyTap::SimKeyTap() : state_(std::make_shared<State>()) {}

SimKeyTap::~SimKeyTap() {
    std::lock_guard lock(state_->mutex);
    state_->attachmentsHeld = false;
    state_->changed.notify_all();
}

bool SimKeyTap::listenEventAccessGranted() const {
    std::lock_guard lock(state_->mutex);
    return state_->listenEventAccess;
}

bool SimKeyTap::accessibilityTrusted() const {
    std::lock_guard lock(state_->mutex);
    return state_->accessibilityTrusted;
}

std::shared_ptr<KeyEventTap> SimKeyTap::createTap(KeyTapCallback callback) {
    std::lock_guard lock(state_->mutex);
    if (state_->creationFails) return nullptr;
    auto tap = std::make_shared<Tap>(state_, std::move(callback), ++state_->nextTapID);
    state_->taps.push_back(tap);
    return tap;
}

bool SimKeyTap::requestListenEventAccess() {
    std::lock_guard lock(state_->mutex);
    ++state_->listenAccessRequests;
    if (state_->grantsListenAccessOnRequest) state_->listenEventAccess = true;
    return state_->listenEventAccess;
}

void SimKeyTap::setGrantsListenAccessOnRequest(bool grants) {
    std::lock_guard lock(state_->mutex);
    state_->grantsListenAccessOnRequest = grants;
}

int SimKeyTap::listenAccessRequestCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->listenAccessRequests;
}

void SimKeyTap::setListenEventAccess(bool granted) {
    std::lock_guard lock(state_->mutex);
    state_->listenEventAccess = granted;
}

void SimKeyTap::setAccessibilityTrusted(bool trusted) {
    std::lock_guard lock(state_->mutex);
    state_->accessibilityTrusted = trusted;
}

void SimKeyTap::setCreationFails(bool fails) {
    std::lock_guard lock(state_->mutex);
    state_->creationFails = fails;
}

void SimKeyTap::setSwallowClaimsRefused(bool refused) {
    std::lock_guard lock(state_->mutex);
    state_->swallowClaimsRefused = refused;
}

void SimKeyTap::holdThreadAttachments() {
    std::lock_guard lock(state_->mutex);
    state_->attachmentsHeld = true;
}

void SimKeyTap::releaseThreadAttachments() {
    std::lock_guard lock(state_->mutex);
    state_->attachmentsHeld = false;
    state_->changed.notify_all();
}

KeyTapVerdict SimKeyTap::send(const KeyTapEvent& event) {
    std::unique_lock lock(state_->mutex);
    // The newest tap sits at the head of the event stream.
    std::vector<std::shared_ptr<Tap>> chain;
    for (auto it = state_->taps.rbegin(); it != state_->taps.rend(); ++it) {
        if (auto tap = it->lock()) chain.push_back(std::move(tap));
    }
    for (const auto& tap : chain) {
        if (!tap->acceptsLocked(event)) continue;
        if (tap->deliver(lock, event) == KeyTapVerdict::swallow) return KeyTapVerdict::swallow;
    }
    return KeyTapVerdict::pass;
}

void SimKeyTap::disableTaps(KeyTapEventType reason) {
    std::unique_lock lock(state_->mutex);
    std::vector<std::shared_ptr<Tap>> disabled;
    for (const auto& weak : state_->taps) {
        auto tap = weak.lock();
        if (tap && tap->validLocked() && tap->enabledLocked()) {
            tap->disableLocked();
            disabled.push_back(std::move(tap));
        }
    }
    const KeyTapEvent notice{reason};
    for (const auto& tap : disabled) {
        if (tap->acceptsLocked(notice)) tap->deliver(lock, notice);
    }
}

std::size_t SimKeyTap::createdTapCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->nextTapID;
}

std::size_t SimKeyTap::liveTapCount() const {
    std::lock_guard lock(state_->mutex);
    return static_cast<std::size_t>(std::count_if(state_->taps.begin(), state_->taps.end(), [](const auto& weak) {
        auto tap = weak.lock();
        return tap && tap->validLocked();
    }));
}

std::size_t SimKeyTap::enabledTapCount() const {
    std::lock_guard lock(state_->mutex);
    return static_cast<std::size_t>(std::count_if(state_->taps.begin(), state_->taps.end(), [](const auto& weak) {
        auto tap = weak.lock();
        return tap && tap->enabledLocked();
    }));
}

std::size_t SimKeyTap::threadServedTapCount() const {
    std::lock_guard lock(state_->mutex);
    return static_cast<std::size_t>(std::count_if(state_->taps.begin(), state_->taps.end(), [](const auto& weak) {
        auto tap = weak.lock();
        return tap && tap->threadServedLocked();
    }));
}

bool SimKeyTap::waitUntilNoLiveTaps(Duration timeout) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] {
        return std::none_of(state_->taps.begin(), state_->taps.end(), [](const auto& weak) {
            auto tap = weak.lock();
            return tap && tap->validLocked();
        });
    });
}

std::vector<SimKeyTap::Delivery> SimKeyTap::deliveries() const {
    std::lock_guard lock(state_->mutex);
    return state_->deliveries;
}

std::optional<KeyTapSwallowCandidates> SimKeyTap::swallowCandidates(std::uint64_t tapID) const {
    std::lock_guard lock(state_->mutex);
    for (const auto& weak : state_->taps) {
        auto tap = weak.lock();
        if (tap && tap->id() == tapID) return tap->claimsLocked();
    }
    return std::nullopt;
}

KeyTapEvent SimKeyTap::keyDown(std::int64_t keyCode, std::uint64_t flags, bool isRepeat) {
    return KeyTapEvent{KeyTapEventType::keyDown, keyCode, flags, isRepeat ? 1 : 0};
}

KeyTapEvent SimKeyTap::keyUp(std::int64_t keyCode, std::uint64_t flags) {
    return KeyTapEvent{KeyTapEventType::keyUp, keyCode, flags};
}

KeyTapEvent SimKeyTap::flagsChanged(std::int64_t keyCode, std::uint64_t flags) {
    return KeyTapEvent{KeyTapEventType::flagsChanged, keyCode, flags};
}

}  // namespace murmo
