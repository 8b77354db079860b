#include "coordinator/DesktopCoordinator.h"

namespace murmo {

std::shared_ptr<DesktopCoordinator> DesktopCoordinator::create(MurmoLaunchConfiguration configuration,
                                                               std::shared_ptr<UpdateCoordinator> updateCoordinator,
                                                               DesktopCoordinatorDependencies dependencies) {
    auto coordinator = std::make_shared<DesktopCoordinator>(Passkey(), std::move(configuration),
                                                            std::move(updateCoordinator), std::move(dependencies));
    coordinator->wireCallbacks();
    return coordinator;
}

DesktopCoordinator::DesktopCoordinator(Passkey, MurmoLaunchConfiguration configuration,
                                       std::shared_ptr<UpdateCoordinator> updateCoordinator,
                                       DesktopCoordinatorDependencies dependencies)
    : ports_(std::move(dependencies.ports)),
      factories_(std::move(dependencies.factories)),
      deliveryLog_(std::string(kLogCategory), ports_.logSink),
      activeShortcut_(configuration.shortcut),
      focusCaptureState_(ports_.ids) {
    hud_ = factories_.hud();
    agentSpeech_ = factories_.agentSpeech();
    soundFeedback_ = factories_.soundFeedback();
    voiceProcessingCapture_ = factories_.microphoneCapture();

    ClipboardPasterOptions pasterOptions;
    pasterOptions.restoreDelay = kPasteRestoreDelay;
    injector_ = factories_.injector(factories_.paster(std::move(pasterOptions)));

    configuration_ = std::move(configuration);
    updateCoordinator_ = std::move(updateCoordinator);
    process_ = factories_.supervisor();

    monitor_ = factories_.router(activeShortcut_, activeAgentShortcut_);

    client_ = factories_.client(configuration_.coreURL, configuration_.desktopToken);
}

DesktopCoordinator::~DesktopCoordinator() = default;

void DesktopCoordinator::wireCallbacks() {
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    wireRouter();
    client_->onConnectionChange = [weak](bool isConnected) {
        if (auto self = weak.lock()) self->connectionChanged(isConnected);
    };
    client_->onEvent = [weak](const CoreEvent& event) {
        if (auto self = weak.lock()) self->coreEvent(event);
    };
    client_->onNativeAudioTransportFailure = [weak](const std::string& operationID, const std::string& reason) {
        if (auto self = weak.lock()) self->nativeAudioTransportFailed(operationID, reason);
    };
    process_->onUnexpectedTermination = [weak](std::int32_t status) {
        if (auto self = weak.lock()) self->coreTerminatedUnexpectedly(status);
    };
}

void DesktopCoordinator::replaceRouter(ShortcutChoice dictation, std::optional<ShortcutChoice> agent) {
    monitor_ = factories_.router(dictation, agent);
    wireRouter();
}

void DesktopCoordinator::wireRouter() {
    // The router calls from its own thread: the action waits its turn on the
    // main loop, and finds the coordinator there or nothing.
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    MainLoop* loop = &ports_.loop;
    monitor_->onAction = [weak, loop](ShortcutPurpose purpose, ShortcutAction action, MonotonicTime arose) {
        loop->post([weak, purpose, action, arose] {
            if (auto self = weak.lock()) self->handleShortcutAction(purpose, action, arose);
        });
    };
}

void DesktopCoordinator::notifyStatusChange() const {
    if (onStatusChange) onStatusChange();
}

void DesktopCoordinator::setFlowBarAlwaysVisible(bool visible) {
    refreshFlowBarIdleState();
    hud_->setAlwaysVisible(visible);
}

void DesktopCoordinator::setFeedbackSoundsEnabled(bool enabled) { soundFeedback_->setEnabled(enabled); }

void DesktopCoordinator::setAppearancePreference(const std::string& preference, const std::string& resolved) {
    hud_->setAppearancePreference(preference, resolved);
}

void DesktopCoordinator::setApplicationLanguage(NativeAppLanguage language) {
    applicationLanguage_ = language;
    hud_->setApplicationLanguage(language);
    notifyStatusChange();
}

std::string DesktopCoordinator::shortcutDescription() const {
    auto text = activeShortcut_.localizedDescription(NativeAppLanguage::english);
    if (!shortcutEnabled_) text += " · disabled";
    return text;
}

std::string DesktopCoordinator::shortcutDescription(NativeAppLanguage language) const {
    NativeLocalizedStrings localized(language, preferredLanguages());
    auto text = activeShortcut_.localizedDescription(localized.language());
    if (!shortcutEnabled_) text += " · " + localized.disabled();
    return text;
}

void DesktopCoordinator::refreshFlowBarIdleState() {
    if (shuttingDown_) return;
    HUDIdleState state = HUDIdleState::booting;
    if (runtimeStartFailed_) {
        state = HUDIdleState::offline;
    } else if (!runtimeStarted_) {
        state = HUDIdleState::booting;
    } else if (paused_ || !shortcutEnabled_) {
        state = HUDIdleState::paused;
    } else if (connected_) {
        state = HUDIdleState::idle;
    } else if (connectionUnavailable_) {
        state = HUDIdleState::offline;
    }
    hud_->setIdleState(state);
}

}  // namespace murmo
