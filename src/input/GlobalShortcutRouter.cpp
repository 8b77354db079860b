#include "input/GlobalShortcutRouter.h"

#include <pthread.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "input/EventTapLifecycleReducer.h"
#include "input/FunctionKeyOwnershipReducer.h"
#include "input/ShortcutTapCallback.h"

namespace murmo {

namespace {

std::map<ShortcutPurpose, ShortcutChoice> makeShortcuts(ShortcutChoice dictation, std::optional<ShortcutChoice> agent) {
    std::map<ShortcutPurpose, ShortcutChoice> shortcuts{{ShortcutPurpose::dictation, dictation}};
    if (agent) shortcuts.emplace(ShortcutPurpose::agent, *agent);
    return shortcuts;
}

bool anyFunctionShortcut(const std::map<ShortcutPurpose, ShortcutChoice>& shortcuts) {
    for (const auto& [purpose, shortcut] : shortcuts) {
        if (shortcut.isFunction()) return true;
    }
    return false;
}

// The keys the router may swallow: Fn/Globe on its own, and each chord's key
// pressed with at least its modifiers (its repeats and key-up follow).
KeyTapSwallowCandidates swallowCandidates(const std::map<ShortcutPurpose, ShortcutChoice>& shortcuts) {
    KeyTapSwallowCandidates candidates;
    for (const auto& [purpose, shortcut] : shortcuts) {
        const KeyTapSwallowCandidate candidate =
            shortcut.isFunction()
                ? KeyTapSwallowCandidate{.keyCode = kFunctionKeyCode, .flags = 0}
                : KeyTapSwallowCandidate{.keyCode = shortcut.keyCode(), .flags = shortcut.modifiers().eventFlags()};
        if (std::find(candidates.keys.begin(), candidates.keys.end(), candidate) == candidates.keys.end()) {
            candidates.keys.push_back(candidate);
        }
    }
    return candidates;
}

}  // namespace

// The router's state that its tap and its thread share: the reducers, the
// tap, the start generations and the owner's callback. The thread and each
// tap callback in progress keep it alive; nothing here keeps the router alive.
class GlobalShortcutRouter::Shared {
public:
    using Actions = std::vector<std::pair<ShortcutPurpose, ShortcutAction>>;

    Shared(const Clock& clock, std::map<ShortcutPurpose, ShortcutChoice> shortcuts)
        : clock_(clock), shortcuts_(std::move(shortcuts)), hasFunctionShortcut_(anyFunctionShortcut(shortcuts_)) {
        resetTransientStateLocked();
    }

    const std::map<ShortcutPurpose, ShortcutChoice>& shortcuts() const { return shortcuts_; }

    bool hasTap() const {
        std::lock_guard lock(mutex_);
        return tap_ != nullptr;
    }

    // A new generation serving `tap`, or nothing when another start got there
    // first.
    std::optional<EventTapGeneration> beginStart(std::shared_ptr<KeyEventTap> tap) {
        std::lock_guard lock(mutex_);
        if (tap_ || lifecycle_.activeGeneration()) return std::nullopt;
        const auto generation = lifecycle_.beginStart();
        resetTransientStateLocked();
        tap_ = std::move(tap);
        threadServing_ = false;
        return generation;
    }

    bool startSucceeded(EventTapGeneration generation) const {
        std::lock_guard lock(mutex_);
        return lifecycle_.accepts(generation) && threadServing_;
    }

    // Retires the generation; the caller switches the returned tap off.
    struct Stopped {
        std::shared_ptr<KeyEventTap> tap;
        bool threadServing = false;
    };
    Stopped stop() {
        std::lock_guard lock(mutex_);
        lifecycle_.stop();
        Stopped stopped{std::exchange(tap_, nullptr), std::exchange(threadServing_, false)};
        resetTransientStateLocked();
        return stopped;
    }

    // Router thread, once it serves the tap: true when its start still counts.
    bool confirmThreadServing(EventTapGeneration generation, KeyEventTap& tap) {
        std::lock_guard lock(mutex_);
        if (!lifecycle_.accepts(generation)) return false;
        threadServing_ = true;
        tap.setEnabled(true);
        return true;
    }

    bool isActiveGeneration(EventTapGeneration generation) const {
        std::lock_guard lock(mutex_);
        return lifecycle_.accepts(generation);
    }

    void setActionCallback(ActionCallback callback) {
        auto shared = callback ? std::make_shared<const ActionCallback>(std::move(callback)) : nullptr;
        std::lock_guard lock(deliveryMutex_);
        actionCallback_.swap(shared);
    }

    // No action is delivered from now on, not even one already collected.
    void endDelivery() {
        std::shared_ptr<const ActionCallback> dropped;
        std::lock_guard lock(deliveryMutex_);
        deliveryEnded_ = true;
        dropped = std::move(actionCallback_);
    }

    // The router thread's body: serves the tap while its start generation
    // is active, after raising `confirmation` either way.
    void serve(ConfirmationLatch& confirmation, KeyEventTap& tap, EventTapGeneration generation);

    // The tap's callback, on the router thread.
    bool consume(const KeyTapEvent& event);
    void handleTapDisabled();

private:
    void resetTransientStateLocked();
    void report(const Actions& actions) const;

    const Clock& clock_;
    const std::map<ShortcutPurpose, ShortcutChoice> shortcuts_;
    const bool hasFunctionShortcut_;

    mutable std::mutex mutex_;
    std::map<ShortcutPurpose, ShortcutReducer> reducers_;
    // Purposes whose chord key-down was swallowed, so its key-up is too.
    std::set<ShortcutPurpose> suppressedChordKeyDown_;
    FunctionKeyOwnershipReducer functionOwnership_;
    std::shared_ptr<KeyEventTap> tap_;
    // The router thread serves the tap.
    bool threadServing_ = false;
    EventTapLifecycleReducer lifecycle_;

    // The owner's callback, apart from mutex_ since it never runs under it.
    mutable std::mutex deliveryMutex_;
    std::shared_ptr<const ActionCallback> actionCallback_;
    bool deliveryEnded_ = false;
};

void GlobalShortcutRouter::Shared::serve(ConfirmationLatch& confirmation, KeyEventTap& tap,
                                         EventTapGeneration generation) {
    tap.attachToCurrentThread();
    const bool serving = confirmThreadServing(generation, tap);
    confirmation.raise();
    if (!serving) {
        tap.detachThread();
        tap.invalidate();
        return;
    }
    while (isActiveGeneration(generation)) tap.runOnce(kPassTimeout);
    tap.detachThread();
}

bool GlobalShortcutRouter::Shared::consume(const KeyTapEvent& event) {
    const auto sample = KeyboardSample::from(event);
    if (!sample) return false;

    Actions actions;
    bool swallow = false;
    {
        std::lock_guard lock(mutex_);
        // A stopped router neither swallows nor reports, even for an event
        // already on its way when the tap was switched off.
        if (!tap_) return false;
        if (hasFunctionShortcut_) swallow = functionOwnership_.shouldSuppress(*sample);
        for (auto purpose : kAllShortcutPurposes) {
            auto shortcut = shortcuts_.find(purpose);
            auto reducer = reducers_.find(purpose);
            if (shortcut == shortcuts_.end() || reducer == reducers_.end()) continue;

            const bool wasActive = reducer->second.active();
            if (auto action = reducer->second.reduce(*sample)) actions.emplace_back(purpose, *action);

            const auto& choice = shortcut->second;
            if (choice.isFunction() || sample->keyCode != choice.keyCode()) continue;
            const bool isKeyDown = sample->kind == KeyboardEventKind::keyDown;
            const bool wasSuppressed = suppressedChordKeyDown_.contains(purpose);
            if (isKeyDown && !sample->isRepeat && sample->modifiers.contains(choice.modifiers())) {
                suppressedChordKeyDown_.insert(purpose);
                swallow = true;
            } else if (sample->kind == KeyboardEventKind::keyUp && wasSuppressed) {
                // The key-up follows its key-down even when a modifier was
                // released first.
                suppressedChordKeyDown_.erase(purpose);
                swallow = true;
            } else if (isKeyDown && (wasActive || wasSuppressed)) {
                swallow = true;
            }
        }
    }
    report(actions);
    return swallow;
}

void GlobalShortcutRouter::Shared::handleTapDisabled() {
    Actions actions;
    std::shared_ptr<KeyEventTap> tap;
    {
        std::lock_guard lock(mutex_);
        for (auto purpose : kAllShortcutPurposes) {
            auto reducer = reducers_.find(purpose);
            if (reducer != reducers_.end() && reducer->second.active()) {
                actions.emplace_back(purpose, ShortcutAction::cancelled);
            }
        }
        resetTransientStateLocked();
        tap = tap_;
    }
    if (tap) tap->setEnabled(true);
    report(actions);
}

void GlobalShortcutRouter::Shared::resetTransientStateLocked() {
    reducers_.clear();
    for (const auto& [purpose, shortcut] : shortcuts_) reducers_.emplace(purpose, ShortcutReducer(shortcut));
    suppressedChordKeyDown_.clear();
    functionOwnership_.reset();
}

// Each action checks anew whether delivery has ended: an owner that drops the
// router from inside its callback gets none of the event's later actions.
void GlobalShortcutRouter::Shared::report(const Actions& actions) const {
    if (actions.empty()) return;
    const auto now = clock_.now();
    for (const auto& [purpose, action] : actions) {
        std::shared_ptr<const ActionCallback> callback;
        {
            std::lock_guard lock(deliveryMutex_);
            if (deliveryEnded_) return;
            callback = actionCallback_;
        }
        if (!callback) return;
        (*callback)(purpose, action, now);
    }
}

std::unique_ptr<GlobalShortcutRouter> GlobalShortcutRouter::create(std::shared_ptr<KeyTap> keyTap, const Clock& clock,
                                                                   ShortcutChoice dictation,
                                                                   std::optional<ShortcutChoice> agent,
                                                                   std::shared_ptr<ConfirmationWait> startWait) {
    return std::make_unique<GlobalShortcutRouter>(Passkey{}, std::move(keyTap), clock, dictation, agent,
                                                  std::move(startWait));
}

GlobalShortcutRouter::GlobalShortcutRouter(Passkey, std::shared_ptr<KeyTap> keyTap, const Clock& clock,
                                           ShortcutChoice dictation, std::optional<ShortcutChoice> agent,
                                           std::shared_ptr<ConfirmationWait> startWait)
    : keyTap_(std::move(keyTap)),
      startWait_(startWait ? std::move(startWait) : ConfirmationWait::realTime()),
      shared_(std::make_shared<Shared>(clock, makeShortcuts(dictation, agent))) {}

GlobalShortcutRouter::~GlobalShortcutRouter() {
    // First, so that an action the thread has in hand is dropped; then the
    // thread is joined, so that one being delivered has returned.
    shared_->endDelivery();
    stopTap(/*waitForThread=*/true);
}

const std::map<ShortcutPurpose, ShortcutChoice>& GlobalShortcutRouter::shortcuts() const {
    return shared_->shortcuts();
}

GlobalShortcutRouter::StartResult GlobalShortcutRouter::start() {
    if (shared_->hasTap()) return {};
    // Neither check prompts; the owner retries after the user grants access.
    if (!keyTap_->listenEventAccessGranted())
        return std::unexpected(ShortcutMonitorError::inputMonitoringPermissionRequired);
    if (!keyTap_->accessibilityTrusted()) return std::unexpected(ShortcutMonitorError::accessibilityPermissionRequired);

    auto tap = keyTap_->createTap(makeShortcutTapCallback(std::weak_ptr<Shared>(shared_)));
    if (!tap) return std::unexpected(ShortcutMonitorError::eventTapUnavailable);
    // Refused when another application holds a shortcut's keys: the router
    // could not keep them from the frontmost application.
    if (!tap->setSwallowCandidates(swallowCandidates(shared_->shortcuts()))) {
        tap->invalidate();
        return std::unexpected(ShortcutMonitorError::eventTapUnavailable);
    }

    const auto generation = shared_->beginStart(tap);
    if (!generation) {
        tap->invalidate();
        return {};
    }
    shared_->setActionCallback(onAction);

    // The thread holds what it serves; the confirmation outlives a start
    // that stopped waiting for it.
    auto confirmation = std::make_shared<ConfirmationLatch>();
    thread_ = std::thread([shared = shared_, confirmation, tap, generation = *generation] {
        shared->serve(*confirmation, *tap, generation);
    });
    // Thread names are capped at 15 bytes here. An unprivileged process cannot
    // raise the thread's scheduling class, so the thread keeps the default.
    pthread_setname_np(thread_.native_handle(), "Dorvex shortcut");

    if (startWait_->waitFor(*confirmation, kStartTimeout) && shared_->startSucceeded(*generation)) return {};
    // The thread may be stuck; it is left to notice its retired generation on
    // its own so this call never blocks beyond the start time-out.
    stopTap(/*waitForThread=*/false);
    return std::unexpected(ShortcutMonitorError::eventTapUnavailable);
}

void GlobalShortcutRouter::stop() { stopTap(/*waitForThread=*/true); }

void GlobalShortcutRouter::stopTap(bool waitForThread) {
    const auto stopped = shared_->stop();
    if (stopped.tap) {
        stopped.tap->setEnabled(false);
        stopped.tap->invalidate();
        // Wakes the thread so it sees its retired generation now rather than
        // at the end of its pass.
        if (stopped.threadServing) stopped.tap->detachThread();
    }
    if (!thread_.joinable()) return;
    if (waitForThread && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

}  // namespace murmo
