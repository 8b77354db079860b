// Rebinding a shortcut from the engine's settings page: the router steps
// aside while a capture monitor takes the next key combination, which goes
// to the engine; the settings reload then puts the new shortcut in force.
// Every end of a capture gives the router back.

#include "coordinator/DesktopCoordinator.h"
#include "coordinator/ShortcutCaptureEvent.h"
#include "input/NativeAudioRoute.h"
#include "runtime/AsciiText.h"

namespace murmo {

namespace {

constexpr std::string_view kCaptureRequested = "shortcut.capture_requested";
constexpr std::string_view kCaptureCompleted = "shortcut.capture_completed";
constexpr std::string_view kCaptureCancelled = "shortcut.capture_cancelled";

ShortcutPurpose purposeOf(const JSONValue::Object& data) {
    const auto* purpose = stringMember(data, "purpose");
    return purpose && *purpose == "agent" ? ShortcutPurpose::agent : ShortcutPurpose::dictation;
}

}  // namespace

bool DesktopCoordinator::shortcutCaptureEvent(const CoreEvent& event) {
    const auto& data = event.data;
    if (event.type == kCaptureRequested) {
        if (const auto* captureID = stringMember(data, "capture_id")) beginShortcutCapture(*captureID, purposeOf(data));
        return true;
    }
    if (event.type != kCaptureCompleted && event.type != kCaptureCancelled) return false;

    // An event without an id speaks for a capture only while none runs here.
    const auto* captureID = stringMember(data, "capture_id");
    if (captureID ? shortcutCaptureID_ != *captureID : shortcutCaptureInProgress()) return true;

    // Read before the capture's end resets it.
    const auto capturePurpose = shortcutCapturePurpose_;
    const auto shortcut = event.type == kCaptureCompleted ? shortcutFromEvent(data) : std::nullopt;
    const auto choice = shortcut ? shortcut->decodedShortcut() : std::nullopt;
    // A capture and an operation exclude each other, so one is open only for
    // an event without an id: the held shortcut, its HUD and its router stay
    // as they are, and the new settings wait for the operation's end.
    if (isIdle()) finishShortcutCapture(!choice);
    if (!choice || purposeOf(data) == ShortcutPurpose::agent || capturePurpose != ShortcutPurpose::dictation) {
        settingsTick();
        return true;
    }
    applyDictationShortcut(*choice);
    return true;
}

void DesktopCoordinator::beginShortcutCapture(const std::string& captureID, ShortcutPurpose purpose) {
    const auto canonicalID = asciiLowercased(captureID);
    if (!isLowercaseUUID(canonicalID) || shuttingDown_) return;
    if (shortcutCaptureID_ == captureID) return;
    if (shortcutCaptureInProgress() || !isIdle()) {
        client_->cancelShortcutCapture(captureID, "busy");
        return;
    }
    monitor_->stop();
    shortcutCaptureID_ = captureID;
    shortcutCapturePurpose_ = purpose;
    shortcutCaptureMonitor_ = factories_.shortcutCaptureMonitor();
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    MainLoop* loop = &ports_.loop;
    shortcutCaptureMonitor_->onAction = [weak, loop, captureID](const ShortcutCaptureAction& action) {
        loop->post([weak, captureID, action] {
            if (auto self = weak.lock()) self->shortcutCaptured(action, captureID);
        });
    };
    if (auto started = shortcutCaptureMonitor_->start(); !started) {
        client_->cancelShortcutCapture(captureID, "permission_required");
        finishShortcutCapture(true);
        showGeneralError(localizedNativeError(started.error()));
        return;
    }
    if (!hud_->isShuttingDown()) hud_->showShortcutCapture();
    shortcutCaptureTimeout_ = ports_.loop.after(kShortcutCaptureTimeout, [weak, captureID] {
        auto self = weak.lock();
        if (!self || self->shortcutCaptureID_ != captureID) return;
        self->client_->cancelShortcutCapture(captureID, "timeout");
        self->finishShortcutCapture(true);
    });
}

void DesktopCoordinator::shortcutCaptured(const ShortcutCaptureAction& action, const std::string& captureID) {
    if (shortcutCaptureID_ != captureID) return;
    shortcutCaptureTimeout_.cancel();
    if (shortcutCaptureMonitor_) shortcutCaptureMonitor_->stop();
    shortcutCaptureMonitor_.reset();

    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    if (action.kind == ShortcutCaptureAction::Kind::cancelled || !action.choice) {
        client_->cancelShortcutCapture(captureID, std::nullopt, [weak, captureID](Status) {
            auto self = weak.lock();
            if (self && self->shortcutCaptureID_ == captureID) self->finishShortcutCapture(true);
        });
        return;
    }
    client_->completeShortcutCapture(captureID, ShortcutSpecPayload(*action.choice), [weak, captureID](Status result) {
        auto self = weak.lock();
        if (self && self->shortcutCaptureID_ == captureID) self->shortcutSaved(result, captureID);
    });
}

void DesktopCoordinator::shortcutSaved(const Status& result, const std::string& captureID) {
    if (!result) {
        client_->cancelShortcutCapture(captureID, "native_error");
        finishShortcutCapture(true);
        deliveryLog_.error("Shortcut save detail={}", logPrivate(result.error().message));
        showGeneralError(strings().shortcutSaveFailed());
        return;
    }
    // The settings reload that follows puts the new shortcut in force and
    // restarts the router with it.
    finishShortcutCapture(false);
    client_->reportAudioRoute(NativeAudioRoute::current(*ports_.audioDevices));
    requestShortcutSettings();
}

void DesktopCoordinator::finishShortcutCapture(bool restartMonitor) {
    shortcutCaptureTimeout_.cancel();
    if (shortcutCaptureMonitor_) shortcutCaptureMonitor_->stop();
    shortcutCaptureMonitor_.reset();
    shortcutCaptureID_.reset();
    shortcutCapturePurpose_ = ShortcutPurpose::dictation;
    if (!hud_->isShuttingDown()) hud_->hide();
    if (restartMonitor && !paused_ && shortcutEnabled_ && !shuttingDown_) startRouterOrPause();
    refreshFlowBarIdleState();
    notifyStatusChange();
}

void DesktopCoordinator::applyDictationShortcut(const ShortcutChoice& choice) {
    ShortcutRuntimeSettings settings{.dictation = choice,
                                     .enabled = shortcutEnabled_,
                                     .agentEnabled = agentModeEnabled_,
                                     .agentActivationPolicy = agentActivationPolicy_,
                                     .agentShortcut = activeAgentShortcut_,
                                     .agentResponseMode = agentResponseMode_,
                                     .agentTTSVoice = agentTTSVoice_,
                                     .agentTTSRate = agentTTSRate_};
    if (isIdle()) {
        applyShortcutSettings(settings);
    } else {
        pendingShortcutSettings_ = std::move(settings);
    }
}

}  // namespace murmo
