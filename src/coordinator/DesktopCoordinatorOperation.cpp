// The open operation's record, and what pause and shutdown do to whatever is
// open: an operation, a dashboard recording, a shortcut capture.

#include "coordinator/DesktopCoordinator.h"

namespace murmo {

void DesktopCoordinator::clearOperation() {
    if (operation_.liveWriter) operation_.liveWriter->stop();
    focusCaptureState_.reset();
    if (operation_.internalDictation && operation_.operationID && cancelInternalDictation) {
        cancelInternalDictation(*operation_.operationID);
    }
    if (operation_.targetCaptureTask) operation_.targetCaptureTask->cancel();
    operation_.processingWatchdog.cancel();
    operation_ = OperationRecord{};
    if (pendingShortcutSettings_) applyShortcutSettings(*std::exchange(pendingShortcutSettings_, std::nullopt));
}

void DesktopCoordinator::finishOperationSound(DictationFeedbackTerminalOutcome outcome) {
    if (operation_.operationID) soundFeedback_->finish(*operation_.operationID, outcome);
}

void DesktopCoordinator::requestTerminal(TerminalIntent intent, std::optional<MonotonicTime> clientTime) {
    if (!operation_.operationID) return;
    if (intent == TerminalIntent::release && operation_.terminalIntent) return;
    operation_.terminalIntent = intent;
    if (intent == TerminalIntent::release) operation_.releasedMonotonicNanoseconds = clientTime;
}

void DesktopCoordinator::cancelOpenOperationForShutdown() {
    if (!operation_.operationID) return;
    const auto operationID = *operation_.operationID;
    finishOperationSound(DictationFeedbackTerminalOutcome::cancelled);
    if (operation_.operationMode == OperationMode::agent) {
        client_->cancelAgentOperation(operationID);
    } else {
        client_->cancelDictationSynchronously(operationID, kSynchronousCancelTimeout);
    }
}

void DesktopCoordinator::abandonDashboardRecording(const std::string& code, const std::string& message) {
    if (!webAudioOperationID_) return;
    const auto operationID = *webAudioOperationID_;
    client_->cancelDictation(operationID);
    if (onWebAudioFailure) onWebAudioFailure(operationID, code, message);
}

void DesktopCoordinator::abandonDashboardRecordingForShutdown() {
    if (!webAudioOperationID_) return;
    client_->cancelDictationSynchronously(*webAudioOperationID_, kSynchronousCancelTimeout);
}

void DesktopCoordinator::cancelShortcutCaptureForPause() {
    if (!shortcutCaptureID_) return;
    client_->cancelShortcutCapture(*shortcutCaptureID_, "cancelled");
}

void DesktopCoordinator::endShortcutCaptureForShutdown() {
    if (shortcutCaptureMonitor_) shortcutCaptureMonitor_->stop();
    shortcutCaptureMonitor_.reset();
    if (shortcutCaptureID_) client_->cancelShortcutCapture(*shortcutCaptureID_, "shutdown");
    shortcutCaptureID_.reset();
}

}  // namespace murmo
