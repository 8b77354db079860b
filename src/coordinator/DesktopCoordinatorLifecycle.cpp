// The engine's life around the coordinator: launch or attach, readiness,
// activation, the connection, pause and resume, an unexpected exit, and the
// ordered shutdown.

#include "coordinator/DesktopCoordinator.h"

namespace murmo {

void DesktopCoordinator::start() {
    if (runtimeStarted_ || shuttingDown_) return;
    if (updateCoordinator_) updateCoordinator_->setCoreReady(false);
    paused_ = true;
    runtimeStartFailed_ = false;
    connectionUnavailable_ = false;
    refreshFlowBarIdleState();
    if (!configuration_.launchCore) {
        activateRuntime();
        return;
    }
    launchEngine();
}

void DesktopCoordinator::launchEngine() {
    auto launched = process_->launch(configuration_.repoRoot, configuration_.corePort(), configuration_.desktopToken,
                                     launchProviders());
    if (!launched) {
        engineStartFailed(launched.error().message);
        return;
    }
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    process_->waitUntilReady(configuration_.coreURL, configuration_.desktopToken, kReadinessTimeout,
                             [weak](CoreProcessResult<void> readiness) {
                                 if (auto self = weak.lock()) self->engineReadinessEnded(readiness);
                             });
}

CoreLaunchProviders DesktopCoordinator::launchProviders() {
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    CoreLaunchProviders providers;
    if (updateCoordinator_) {
        providers.updateFacts = [weak]() -> json::Json {
            auto self = weak.lock();
            return self && self->updateCoordinator_ ? self->updateCoordinator_->coreCardFacts() : json::Json();
        };
    }
    auto mailbox = [weak](std::optional<std::string> DesktopCoordinator::*slot) {
        return CoreEventMailbox{[weak, slot]() -> std::optional<std::string> {
                                    auto self = weak.lock();
                                    if (!self) return std::nullopt;
                                    return std::exchange(self.get()->*slot, std::nullopt);
                                },
                                [weak, slot](std::string event) {
                                    auto self = weak.lock();
                                    if (self && !(self.get()->*slot)) self.get()->*slot = std::move(event);
                                }};
    };
    providers.exportEvent = mailbox(&DesktopCoordinator::pendingExportEvent_);
    providers.writingCopyEvent = mailbox(&DesktopCoordinator::pendingWritingCopyEvent_);
    return providers;
}

void DesktopCoordinator::engineReadinessEnded(const CoreProcessResult<void>& readiness) {
    if (shuttingDown_) return;
    if (!readiness) {
        engineStartFailed(readiness.error().localizedDescription());
        return;
    }
    if (updateCoordinator_) updateCoordinator_->setCoreReady(true);
    activateRuntime();
}

void DesktopCoordinator::engineStartFailed(const std::string& detail) {
    paused_ = true;
    runtimeStartFailed_ = true;
    refreshFlowBarIdleState();
    deliveryLog_.error("Core launch detail={}", logPrivate(detail));
    showGeneralError(strings().coreLaunchFailed());
    notifyStatusChange();
}

void DesktopCoordinator::activateRuntime() {
    if (runtimeStarted_ || shuttingDown_) return;
    runtimeStarted_ = true;
    runtimeStartFailed_ = false;
    connectionUnavailable_ = false;
    refreshFlowBarIdleState();
    client_->connect();
    startSettingsPolling();
    resume();
}

void DesktopCoordinator::connectionChanged(bool isConnected) {
    if (shuttingDown_) return;
    connected_ = isConnected;
    connectionUnavailable_ = !isConnected;
    if (!isConnected) {
        abandonDashboardRecordingAfterTransportFailure();
    } else {
        runtimeStartFailed_ = false;
        if (!shortcutCaptureInProgress()) settingsTick();
    }
    refreshFlowBarIdleState();
    notifyStatusChange();
}

void DesktopCoordinator::resume() {
    if (shuttingDown_) return;
    operation_.pauseAfterCancellation = false;
    paused_ = false;
    if (!shortcutEnabled_ || shortcutCaptureInProgress()) {
        client_->resumeRuntime();
    } else if (auto started = monitor_->start(); !started) {
        shortcutMonitorStartFailed_ = true;
        showGeneralError(localizedNativeError(started.error()));
        paused_ = true;
    } else {
        shortcutMonitorStartFailed_ = false;
        if (!paused_) client_->resumeRuntime();
    }
    refreshFlowBarIdleState();
    notifyStatusChange();
}

void DesktopCoordinator::pause() {
    if (shuttingDown_) return;
    paused_ = true;
    abandonDashboardRecording("recording_paused", "Recording stopped because Dorvex was paused.");
    monitor_->stop();
    agentSpeech_->cancel();
    hud_->hideAgentAnswer(true);
    refreshFlowBarIdleState();
    finishOperationSound(DictationFeedbackTerminalOutcome::cancelled);
    hud_->hide();
    cancelShortcutCaptureForPause();
    if (!isIdle()) {
        // The runtime pause follows once the cancelled operation has ended.
        operation_.pauseAfterCancellation = true;
        requestTerminal(TerminalIntent::cancel, std::nullopt);
    } else {
        client_->pauseRuntime();
    }
    notifyStatusChange();
}

void DesktopCoordinator::togglePaused() {
    if (paused_) {
        resume();
    } else {
        pause();
    }
}

void DesktopCoordinator::retryShortcutMonitorAfterPermissionChange() {
    notifyStatusChange();
    if (shuttingDown_ || !runtimeStarted_ || !shortcutMonitorStartFailed_ || !paused_ || !shortcutEnabled_ ||
        shortcutCaptureInProgress() || !isIdle()) {
        return;
    }
    // Still refused: the user was told at the first failure.
    if (!monitor_->start()) return;
    shortcutMonitorStartFailed_ = false;
    paused_ = false;
    client_->resumeRuntime();
    refreshFlowBarIdleState();
    notifyStatusChange();
}

void DesktopCoordinator::coreTerminatedUnexpectedly(std::int32_t status) {
    if (shuttingDown_) return;
    abandonDashboardRecording("audio_service_unavailable",
                              "The local audio service stopped. Restart Dorvex and try again.");
    if (updateCoordinator_) updateCoordinator_->setCoreReady(false);
    runtimeStarted_ = false;
    runtimeStartFailed_ = true;
    connectionUnavailable_ = true;
    connected_ = false;
    paused_ = true;
    monitor_->stop();
    refreshFlowBarIdleState();
    fail(strings().coreUnexpectedlyExited(status));
    notifyStatusChange();
}

void DesktopCoordinator::shutdown(Completion completion) {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    abandonDashboardRecordingForShutdown();
    runtimeStarted_ = false;
    monitor_->stop();
    agentSpeech_->cancel();
    hud_->hideAgentAnswer(true);
    settingsPollTimer_.cancel();
    operation_.processingWatchdog.cancel();
    shortcutCaptureTimeout_.cancel();
    endShortcutCaptureForShutdown();
    cancelOpenOperationForShutdown();
    injector_->shutdown();
    pendingDeliveryContexts_.clear();
    clearOperation();
    client_->disconnect();
    soundFeedback_->shutdown();
    hud_->shutdown();
    if (!configuration_.launchCore) {
        if (completion) completion();
        return;
    }
    process_->stop(kEngineStopGracePeriod, [completion = std::move(completion)](CoreStopOutcome) {
        if (completion) completion();
    });
}

}  // namespace murmo
