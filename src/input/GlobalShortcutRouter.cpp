#include "input/GlobalShortcutRouter.h"

#include <pthread.h>

#include <condition_variable>

#include "input/ShortcutTapCallback.h"

namespace murmo {

// Signalled once by the router thread when it serves the tap (or gives up).
struct GlobalShortcutRouter::StartSignal {
    std::mutex mutex;
    std::condition_variable signalled;
    bool raised = false;

    void raise() {
        std::lock_guard lock(mutex);
        raised = true;
        signalled.notify_all();
    }

    bool waitFor(Duration timeout) {
        std::unique_lock lock(mutex);
        return signalled.wait_for(lock, timeout, [&] { return raised; });
    }
};

namespace {

std::map<ShortcutPurpose, ShortcutChoice> makeShortcuts(ShortcutChoice dictation,
                                                        std::optional<ShortcutChoice> agent) {
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

}  // namespace

std::shared_ptr<GlobalShortcutRouter> GlobalShortcutRouter::create(std::shared_ptr<KeyTap> keyTap,
                                                                   const Clock& clock, ShortcutChoice dictation,
                                                                   std::optional<ShortcutChoice> agent) {
    return std::make_shared<GlobalShortcutRouter>(Passkey{}, std::move(keyTap), clock, dictation, agent);
}

GlobalShortcutRouter::GlobalShortcutRouter(Passkey, std::shared_ptr<KeyTap> keyTap, const Clock& clock,
                                           ShortcutChoice dictation, std::optional<ShortcutChoice> agent)
    : keyTap_(std::move(keyTap)),
      clock_(clock),
      shortcuts_(makeShortcuts(dictation, agent)),
      hasFunctionShortcut_(anyFunctionShortcut(shortcuts_)) {
    resetTransientStateLocked();
}

GlobalShortcutRouter::~GlobalShortcutRouter() { stopTap(/*waitForThread=*/true); }

GlobalShortcutRouter::StartResult GlobalShortcutRouter::start() {
    {
        std::lock_guard lock(mutex_);
        if (tap_) return {};
    }
    // Neither check prompts; the owner retries after the user grants access.
    if (!keyTap_->listenEventAccessGranted()) return std::unexpected(ShortcutMonitorError::inputMonitoringPermissionRequired);
    if (!keyTap_->accessibilityTrusted()) return std::unexpected(ShortcutMonitorError::accessibilityPermissionRequired);

    auto tap = keyTap_->createTap(makeShortcutTapCallback(weak_from_this()));
    if (!tap) return std::unexpected(ShortcutMonitorError::eventTapUnavailable);

    auto signal = std::make_shared<StartSignal>();
    EventTapGeneration generation;
    {
        std::unique_lock lock(mutex_);
        if (tap_ || lifecycle_.activeGeneration()) {
            lock.unlock();
            tap->invalidate();
            return {};
        }
        generation = *lifecycle_.beginStart();
        resetTransientStateLocked();
        tap_ = tap;
        threadServing_ = false;
    }

    thread_ = std::thread(runThread, weak_from_this(), signal, tap, generation);
    // Thread names are capped at 15 bytes here. An unprivileged process cannot
    // raise the thread's scheduling class, so the thread keeps the default.
    pthread_setname_np(thread_.native_handle(), "Dorvex shortcut");

    if (signal->waitFor(kStartTimeout)) {
        std::lock_guard lock(mutex_);
        if (lifecycle_.accepts(generation) && threadServing_) return {};
    }
    // The thread may be stuck; it is left to notice its retired generation on
    // its own so this call never blocks beyond the start time-out.
    stopTap(/*waitForThread=*/false);
    return std::unexpected(ShortcutMonitorError::eventTapUnavailable);
}

void GlobalShortcutRouter::stop() { stopTap(/*waitForThread=*/true); }

void GlobalShortcutRouter::stopTap(bool waitForThread) {
    std::shared_ptr<KeyEventTap> tap;
    bool threadServing = false;
    {
        std::lock_guard lock(mutex_);
        lifecycle_.stop();
        tap = std::move(tap_);
        tap_.reset();
        threadServing = std::exchange(threadServing_, false);
        resetTransientStateLocked();
    }
    if (tap) {
        tap->setEnabled(false);
        tap->invalidate();
        // Wakes the thread so it sees its retired generation now rather than
        // at the end of its pass.
        if (threadServing) tap->detachThread();
    }
    if (!thread_.joinable()) return;
    if (waitForThread && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

void GlobalShortcutRouter::runThread(std::weak_ptr<GlobalShortcutRouter> weakRouter,
                                     std::shared_ptr<StartSignal> signal, std::shared_ptr<KeyEventTap> tap,
                                     EventTapGeneration generation) {
    if (weakRouter.expired()) {
        signal->raise();
        tap->invalidate();
        return;
    }
    tap->attachToCurrentThread();
    bool serving = false;
    if (auto router = weakRouter.lock()) serving = router->confirmThreadServing(generation, *tap);
    signal->raise();
    if (!serving) {
        tap->detachThread();
        tap->invalidate();
        return;
    }
    // The router is held only while its generation is checked: between passes
    // the thread holds it weakly, so a router its owner dropped goes away (and
    // its destructor stops the tap) instead of living on in this thread.
    while (true) {
        {
            auto router = weakRouter.lock();
            if (!router || !router->isActiveGeneration(generation)) break;
        }
        tap->runOnce(kPassTimeout);
    }
    tap->detachThread();
}

bool GlobalShortcutRouter::confirmThreadServing(EventTapGeneration generation, KeyEventTap& tap) {
    std::lock_guard lock(mutex_);
    if (!lifecycle_.accepts(generation)) return false;
    threadServing_ = true;
    tap.setEnabled(true);
    return true;
}

bool GlobalShortcutRouter::isActiveGeneration(EventTapGeneration generation) const {
    std::lock_guard lock(mutex_);
    return lifecycle_.accepts(generation);
}

bool GlobalShortcutRouter::consume(const KeyTapEvent& event) {
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

void GlobalShortcutRouter::handleTapDisabled() {
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

void GlobalShortcutRouter::resetTransientStateLocked() {
    reducers_.clear();
    for (const auto& [purpose, shortcut] : shortcuts_) reducers_.emplace(purpose, ShortcutReducer(shortcut));
    suppressedChordKeyDown_.clear();
    functionOwnership_.reset();
}

void GlobalShortcutRouter::report(const Actions& actions) const {
    if (actions.empty() || !onAction) return;
    const auto now = clock_.uptimeNanoseconds();
    for (const auto& [purpose, action] : actions) onAction(purpose, action, now);
}

}  // namespace murmo
