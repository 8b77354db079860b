// Failures as the user meets them: a cue, the HUD's error, and a line in the
// log whose details stay private.

#include "coordinator/DesktopCoordinator.h"

namespace murmo {

std::string_view rawValue(DesktopCoordinator::OperationMode mode) {
    switch (mode) {
        case DesktopCoordinator::OperationMode::dictation: return "dictation";
        case DesktopCoordinator::OperationMode::agent: return "agent";
        case DesktopCoordinator::OperationMode::pending: return "pending";
    }
    return "dictation";
}

void DesktopCoordinator::showGeneralError(const std::string& message) {
    deliveryLog_.error("Native error detail={}", logPrivate(message));
    soundFeedback_->playGeneralError();
    // The HUD shows its own error texts; the message is for the log.
    if (!hud_->isShuttingDown()) hud_->showError();
}

void DesktopCoordinator::fail(const std::string& message) {
    const auto mode = operation_.operationMode;
    const bool pauseAfterCancellation = std::exchange(operation_.pauseAfterCancellation, false);
    const auto operationID = operation_.operationID;
    clearOperation();
    if (operationID) {
        soundFeedback_->finish(*operationID, DictationFeedbackTerminalOutcome::error);
    } else {
        soundFeedback_->playGeneralError();
    }
    deliveryLog_.error("Operation error purpose={} detail={}", logPublic(rawValue(mode)), logPrivate(message));
    if (!hud_->isShuttingDown()) hud_->showError();
    if (pauseAfterCancellation) client_->pauseRuntime();
}

std::vector<std::string> DesktopCoordinator::preferredLanguages() const {
    return ports_.preferredLanguages ? ports_.preferredLanguages() : std::vector<std::string>{};
}

NativeLocalizedStrings DesktopCoordinator::strings() const {
    return NativeLocalizedStrings(applicationLanguage_, preferredLanguages());
}

std::string DesktopCoordinator::localizedNativeError(const NativeFailure& failure) const {
    return murmo::localizedNativeError(failure, strings());
}

std::string DesktopCoordinator::localizedCoreFailure(const JSONValue::Object& data) const {
    return murmo::localizedCoreFailure(data, operation_.operationMode == OperationMode::agent, strings());
}

std::string DesktopCoordinator::localizedAgentFailure(const std::optional<std::string>& reasonCode,
                                                      const std::optional<std::string>& messageKey) const {
    return murmo::localizedAgentFailure(reasonCode, messageKey, strings());
}

json::Json DesktopCoordinator::audioErrorReply(const NativeFailure& failure) const {
    return murmo::audioErrorReply(failure, strings());
}

}  // namespace murmo
