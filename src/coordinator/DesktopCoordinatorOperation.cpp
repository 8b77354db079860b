// What pause and shutdown do to whatever is open: an operation, a dashboard
// recording, a shortcut capture.

#include "coordinator/DesktopCoordinator.h"

namespace murmo {

void DesktopCoordinator::finishOperationSound(DictationFeedbackTerminalOutcome outcome) {
    if (operation_.operationID) soundFeedback_->finish(*operation_.operationID, outcome);
}

void DesktopCoordinator::cancelOpenOperationForShutdown() {
    if (!operation_.operationID) return;
    const auto operationID = *operation_.operationID;
    finishOperationSound(DictationFeedbackTerminalOutcome::cancelled);
    finishNativeAudio(operationID, true);
    if (operation_.operationMode == OperationMode::agent) {
        client_->cancelAgentOperation(operationID);
    } else {
        client_->cancelDictationSynchronously(operationID, kSynchronousCancelTimeout);
    }
}

void DesktopCoordinator::abandonDashboardRecording(const std::string& code, const std::string& message) {
    if (!webAudioOperationID_) return;
    const auto operationID = *webAudioOperationID_;
    finishNativeAudio(operationID, true);
    client_->cancelDictation(operationID);
    if (onWebAudioFailure) onWebAudioFailure(operationID, code, message);
}

void DesktopCoordinator::abandonDashboardRecordingAfterTransportFailure() {
    abandonDashboardRecording("audio_transport_interrupted",
                              "The local audio connection was interrupted. Start a new recording.");
}

void DesktopCoordinator::abandonDashboardRecordingForShutdown() {
    if (!webAudioOperationID_) return;
    const auto operationID = *webAudioOperationID_;
    finishNativeAudio(operationID, true);
    client_->cancelDictationSynchronously(operationID, kSynchronousCancelTimeout);
}

void DesktopCoordinator::cancelShortcutCaptureForPause() {
    if (!shortcutCaptureID_) return;
    client_->cancelShortcutCapture(*shortcutCaptureID_, "cancelled");
    finishShortcutCapture(true);
}

void DesktopCoordinator::endShortcutCaptureForShutdown() {
    if (shortcutCaptureMonitor_) shortcutCaptureMonitor_->stop();
    shortcutCaptureMonitor_.reset();
    if (shortcutCaptureID_) client_->cancelShortcutCapture(*shortcutCaptureID_, "shutdown");
    shortcutCaptureID_.reset();
}

}  // namespace murmo
