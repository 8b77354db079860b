#include "input/ShortcutCaptureMonitor.h"

#include <utility>

#include "input/ShortcutTapCallback.h"

namespace murmo {

std::shared_ptr<ShortcutCaptureMonitor> ShortcutCaptureMonitor::create(std::shared_ptr<KeyTap> keyTap, MainLoop& loop) {
    return std::make_shared<ShortcutCaptureMonitor>(Passkey{}, std::move(keyTap), loop);
}

ShortcutCaptureMonitor::ShortcutCaptureMonitor(Passkey, std::shared_ptr<KeyTap> keyTap, MainLoop& loop)
    : keyTap_(std::move(keyTap)), loop_(loop) {}

ShortcutCaptureMonitor::~ShortcutCaptureMonitor() { stop(); }

ShortcutCaptureMonitor::StartResult ShortcutCaptureMonitor::start() {
    {
        std::lock_guard lock(mutex_);
        if (tap_) return {};
    }
    if (!keyTap_->listenEventAccessGranted())
        return std::unexpected(ShortcutMonitorError::inputMonitoringPermissionRequired);
    if (!keyTap_->accessibilityTrusted()) return std::unexpected(ShortcutMonitorError::accessibilityPermissionRequired);

    auto tap = keyTap_->createTap(makeShortcutTapCallback(weak_from_this()));
    if (!tap) return std::unexpected(ShortcutMonitorError::eventTapUnavailable);
    // The capture keeps every key press from every application, so it takes
    // the whole keyboard; refused while another application holds it.
    if (!tap->setSwallowCandidates(KeyTapSwallowCandidates::everyKey())) {
        tap->invalidate();
        return std::unexpected(ShortcutMonitorError::eventTapUnavailable);
    }

    {
        std::unique_lock lock(mutex_);
        if (tap_) {
            lock.unlock();
            tap->invalidate();
            return {};
        }
        reducer_ = ShortcutCaptureReducer();
        tap_ = tap;
        runLoop_ = &loop_;
        tap->attachToMainLoop(loop_);
    }
    tap->setEnabled(true);
    return {};
}

void ShortcutCaptureMonitor::stop() {
    std::shared_ptr<KeyEventTap> tap;
    MainLoop* runLoop = nullptr;
    {
        std::lock_guard lock(mutex_);
        tap = std::move(tap_);
        tap_.reset();
        runLoop = std::exchange(runLoop_, nullptr);
        reducer_ = ShortcutCaptureReducer();
    }
    if (!tap) return;
    tap->setEnabled(false);
    tap->invalidate();
    if (runLoop) tap->detachFromMainLoop();
}

bool ShortcutCaptureMonitor::consume(const KeyTapEvent& event) {
    std::optional<ShortcutCaptureAction> action;
    {
        std::lock_guard lock(mutex_);
        if (!tap_) return false;
        // A key the sample cannot hold is still swallowed below, but it never
        // reaches the capture.
        if (auto sample = KeyboardSample::from(event)) action = reducer_.reduce(*sample);
    }
    report(action);

    // Every key press is swallowed, before and after the result; modifier
    // changes pass unless they involve Fn/Globe, whose own system action must
    // not run while the user records it.
    if (event.type != KeyTapEventType::flagsChanged) return true;
    return event.keyCode == kFunctionKeyCode || (event.flags & key_event_flags::secondaryFn) != 0;
}

void ShortcutCaptureMonitor::handleTapDisabled() {
    std::optional<ShortcutCaptureAction> action;
    std::shared_ptr<KeyEventTap> tap;
    {
        std::lock_guard lock(mutex_);
        if (!tap_) return;
        action = reducer_.tapDisabled();
        tap = tap_;
    }
    if (tap) tap->setEnabled(true);
    report(action);
}

void ShortcutCaptureMonitor::report(const std::optional<ShortcutCaptureAction>& action) const {
    if (action && onAction) onAction(*action);
}

}  // namespace murmo
