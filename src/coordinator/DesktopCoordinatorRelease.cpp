// The key release: where the text is to land, taken at the instant the user
// stopped speaking, and the end of the microphone stream that every release
// waits for.

#include "coordinator/DesktopCoordinator.h"

namespace murmo {

namespace {

Error recordingCancelled() {
    return Error("MurmoCapture", 0, "Recording was cancelled.", std::string("recording_cancelled"));
}

}  // namespace

void DesktopCoordinator::captureDeliveryTargetAtRelease() {
    // Agent operations have no delivery target.
    if (!operation_.operationID || !operation_.targetID || operation_.operationMode == OperationMode::agent) return;
    const auto generation = focusCaptureState_.beginReleaseCapture();
    if (!generation) return;
    const auto operationID = *operation_.operationID;
    const auto targetID = *operation_.targetID;
    const auto boundary = FocusReleaseBoundary::take(ports_.workspace, ports_.inputActivity);

    finishNativeAudio(operationID, false);
    forgetTargetCapture();
    if (operation_.operationMode == OperationMode::pending) {
        resolvePendingOperationMode(OperationMode::dictation, operationID);
    }
    if (std::exchange(operation_.internalDictation, false) && cancelInternalDictation) {
        cancelInternalDictation(operationID);
    }
    if (!boundary.stillMatches(ports_.workspace, ports_.inputActivity)) {
        operation_.captureFailure = CaptureFailure::targetChanged;
        return;
    }
    if (ownApplicationIsFrontmost()) {
        operation_.internalDictation = true;
        if (reserveInternalDictation) reserveInternalDictation(operationID);
    } else {
        reserveReleaseTarget(targetID, *generation);
    }
    undoReleaseCaptureIfMoved(boundary);
}

void DesktopCoordinator::forgetTargetCapture() {
    if (operation_.targetCaptureTask) operation_.targetCaptureTask->cancel();
    operation_.targetCaptureTask.reset();
    operation_.targetCapturePending = false;
    operation_.targetCapturePin.reset();
    operation_.target.reset();
    operation_.captureFailure.reset();
    operation_.finalFocusRetryAttempted = false;
}

void DesktopCoordinator::reserveReleaseTarget(const std::string& targetID, const std::string& generation) {
    const auto reservation = injector_->reserve(targetID);
    switch (reservation.kind()) {
        case FocusReservation::Kind::ready: {
            const auto& snapshot = *reservation.snapshot();
            operation_.target = snapshot;
            deliveryLog_.notice("Release focus captured app={} pid={}",
                                logPublic(snapshot.bundleIdentifier.value_or("unknown")), logPublic(snapshot.pid));
            return;
        }
        case FocusReservation::Kind::warming:
            operation_.targetCapturePin = *reservation.pin();
            operation_.targetCapturePending = true;
            startTargetCapture(*reservation.pin(), FocusCapturePhase::activation, generation);
            return;
        case FocusReservation::Kind::failed: {
            const auto failure = *reservation.failure();
            operation_.captureFailure = failure;
            // The pinned host still allows a paste into whatever has its focus.
            if (permitsCurrentFocusFallback(failure)) operation_.targetCapturePin = injector_->lastReservationHostPin();
            deliveryLog_.error("Release focus capture failed reason={}", logPublic(reasonCode(failure)));
            return;
        }
    }
}

void DesktopCoordinator::undoReleaseCaptureIfMoved(const FocusReleaseBoundary& boundary) {
    // A click, a key press or another application in front while the capture
    // ran: the target taken may no longer be where the user is.
    if (boundary.stillMatches(ports_.workspace, ports_.inputActivity)) return;
    if (operation_.targetCaptureTask) operation_.targetCaptureTask->cancel();
    operation_.targetCaptureTask.reset();
    operation_.targetCapturePending = false;
    operation_.targetCapturePin.reset();
    operation_.target.reset();
    if (operation_.internalDictation && cancelInternalDictation && operation_.operationID) {
        cancelInternalDictation(*operation_.operationID);
    }
    operation_.internalDictation = false;
    operation_.captureFailure = CaptureFailure::targetChanged;
}

void DesktopCoordinator::finishNativeAudio(const std::string& operationID, bool cancelled,
                                           NativeAudioStream::EndCompletion completion) {
    const bool live = nativeAudioOperationID_ == operationID;
    const bool finalizing = nativeAudioFinalizationOperationID_ == operationID;
    if (!cancelled) {
        if (!live && !finalizing) {
            if (completion) completion({});
            return;
        }
        if (completion) nativeAudioEndWaiters_[operationID].push_back(std::move(completion));
        if (finalizing) return;
        voiceProcessingCapture_->stop();
        nativeAudioFinalizationOperationID_ = operationID;
        // Chunks already posted from the audio thread go out before the end.
        std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
        ports_.loop.post([weak, operationID] {
            if (auto self = weak.lock()) self->endNativeAudioNormally(operationID);
        });
        return;
    }

    if (live) {
        voiceProcessingCapture_->stop();
        nativeAudioOperationID_.reset();
        nativeAudioCaptureGeneration_.reset();
    }
    if (finalizing) nativeAudioFinalizationOperationID_.reset();
    if (webAudioOperationID_ == operationID) webAudioOperationID_.reset();
    if (live || finalizing) client_->endNativeAudio(operationID, true);
    completeNativeAudioEnd(operationID, std::unexpected(recordingCancelled()));
    if (completion) completion({});
}

void DesktopCoordinator::endNativeAudioNormally(const std::string& operationID) {
    if (nativeAudioFinalizationOperationID_ != operationID) return;
    nativeAudioOperationID_.reset();
    nativeAudioCaptureGeneration_.reset();
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    client_->endNativeAudio(operationID, false, [weak, operationID](Status result) {
        if (auto self = weak.lock()) self->nativeAudioEndAcknowledged(operationID, result);
    });
}

void DesktopCoordinator::nativeAudioEndAcknowledged(const std::string& operationID, const Status& result) {
    if (nativeAudioFinalizationOperationID_ != operationID) return;
    nativeAudioFinalizationOperationID_.reset();
    completeNativeAudioEnd(operationID, result);
    if (!result && webAudioOperationID_ == operationID) {
        abandonDashboardRecordingAfterTransportFailure();
        return;
    }
    if (!isCurrentOperation(operationID)) return;
    if (!result) {
        nativeAudioTransportFailed(operationID, result.error().message);
        return;
    }
    sendTerminalIfReady();
}

void DesktopCoordinator::completeNativeAudioEnd(const std::string& operationID, const Status& result) {
    auto found = nativeAudioEndWaiters_.find(operationID);
    if (found == nativeAudioEndWaiters_.end()) return;
    auto waiters = std::move(found->second);
    nativeAudioEndWaiters_.erase(found);
    for (auto& waiter : waiters) waiter(result);
}

}  // namespace murmo
