// The engine's settings, asked for every 2 s and once at connect: the audio
// route goes out first, then the settings request; a reply's audio settings
// apply at once, its shortcut settings when no operation is open.

#include "coordinator/DesktopCoordinator.h"
#include "input/NativeAudioRoute.h"

namespace murmo {

void DesktopCoordinator::startSettingsPolling() {
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    settingsPollTimer_ = ports_.loop.every(kSettingsPollInterval, [weak] {
        if (auto self = weak.lock()) self->settingsTick();
    });
    settingsTick();
}

void DesktopCoordinator::settingsTick() {
    if (shuttingDown_ || shortcutCaptureInProgress()) return;
    client_->reportAudioRoute(NativeAudioRoute::current(*ports_.audioDevices));
    requestShortcutSettings();
    process_->publishDesktopContext();
}

void DesktopCoordinator::requestShortcutSettings() {
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    const auto number = ++settingsRequestsSent_;
    client_->fetchShortcutSettings([weak, number](Result<ShortcutSettingsResponse> reply) {
        if (auto self = weak.lock()) self->settingsReplied(number, std::move(reply));
    });
}

void DesktopCoordinator::settingsReplied(std::uint64_t requestNumber, Result<ShortcutSettingsResponse> reply) {
    // Errors stay silent: the next tick asks again.
    if (shuttingDown_ || !reply) return;
    if (requestNumber < newestAppliedSettingsRequest_) return;
    auto settings = ShortcutRuntimeSettings::from(*reply);
    if (!settings) return;
    newestAppliedSettingsRequest_ = requestNumber;
    applyAudioSettings(*reply);
    if (isIdle()) {
        applyShortcutSettings(*settings);
    } else {
        pendingShortcutSettings_ = std::move(*settings);
    }
}

void DesktopCoordinator::applyAudioSettings(const ShortcutSettingsResponse& reply) {
    audioSettings_ = CoordinatorAudioSettings::from(reply);
    audioSettingsReady_ = true;
}

void DesktopCoordinator::applyShortcutSettings(const ShortcutRuntimeSettings& settings) {
    // Nothing may start listening to the keyboard once shutdown has begun.
    if (shuttingDown_ || shortcutCaptureInProgress()) return;
    const auto agentShortcut = settings.monitoredAgentShortcut();
    const bool changed = settings.dictation != activeShortcut_ || agentShortcut != activeAgentShortcut_;
    shortcutEnabled_ = settings.enabled;
    agentModeEnabled_ = settings.agentEnabled;
    agentActivationPolicy_ = settings.agentActivationPolicy;
    agentResponseMode_ = settings.agentResponseMode;
    agentTTSVoice_ = settings.agentTTSVoice;
    agentTTSRate_ = settings.agentTTSRate;
    if (changed) {
        monitor_->stop();
        activeShortcut_ = settings.dictation;
        activeAgentShortcut_ = agentShortcut;
        replaceRouter(activeShortcut_, activeAgentShortcut_);
    }
    persistShortcut(settings.dictation, ports_.defaults);
    if (shortcutEnabled_ && !paused_) {
        startRouterOrPause();
    } else {
        monitor_->stop();
    }
    refreshFlowBarIdleState();
    notifyStatusChange();
}

bool DesktopCoordinator::startRouterOrPause() {
    if (auto started = monitor_->start(); !started) {
        shortcutMonitorStartFailed_ = true;
        showGeneralError(localizedNativeError(started.error()));
        paused_ = true;
        client_->pauseRuntime();
        return false;
    }
    shortcutMonitorStartFailed_ = false;
    return true;
}

}  // namespace murmo
