// Telling the engine how an operation ends: the release or cancel request,
// its retries, the replies, and the engine finalising on its own.

#include "coordinator/DesktopCoordinator.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

// A cancel the engine answers with "not found" or "gone" found nothing left
// to cancel: the operation is over, which is all a cancel asks for.
bool operationAlreadyGone(const Status& result) {
    if (result) return false;
    const auto& error = result.error();
    return error.domain == MurmoCoreClient::kErrorDomain && (error.code == 404 || error.code == 410);
}

}  // namespace

void DesktopCoordinator::requestTerminal(TerminalIntent intent, std::optional<MonotonicTime> clientTime) {
    if (!operation_.operationID) return;
    const auto operationID = *operation_.operationID;
    switch (operation_.terminal.request(intent)) {
        case TerminalRequestMachine::RequestOutcome::unchanged: break;
        case TerminalRequestMachine::RequestOutcome::released:
            operation_.releasedMonotonicNanoseconds = clientTime;
            finishNativeAudio(operationID, false);
            break;
        case TerminalRequestMachine::RequestOutcome::cancelled: finishNativeAudio(operationID, true); break;
    }
    sendTerminalIfReady();
}

void DesktopCoordinator::sendTerminalIfReady() {
    if (!operation_.operationID) return;
    const auto operationID = *operation_.operationID;
    const auto intent =
        operation_.terminal.takeSend({.agentResolutionPending = operation_.agentModeResolutionPending,
                                      .audioEndPending = nativeAudioFinalizationOperationID_ == operationID});
    if (!intent) return;
    if (*intent == TerminalIntent::cancel) {
        sendCancel(operationID);
    } else {
        sendRelease(operationID);
    }
}

void DesktopCoordinator::sendCancel(const std::string& operationID) {
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    auto completion = [weak, operationID](Status result) {
        if (auto self = weak.lock()) self->cancelCompleted(result, operationID);
    };
    if (operation_.operationMode == OperationMode::agent) {
        client_->cancelAgentOperation(operationID, std::move(completion));
    } else {
        client_->cancelDictation(operationID, std::move(completion));
    }
}

void DesktopCoordinator::sendRelease(const std::string& operationID) {
    if (!operation_.releasedMonotonicNanoseconds) operation_.releasedMonotonicNanoseconds = now();
    const auto releasedAt = *operation_.releasedMonotonicNanoseconds;
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    auto completion = [weak, operationID](Result<DictationCommandResponse> reply) {
        if (auto self = weak.lock()) self->releaseCompleted(reply, operationID);
    };
    if (operation_.operationMode == OperationMode::agent) {
        client_->releaseAgentOperation(operationID, releasedAt, std::move(completion));
    } else {
        client_->releaseDictation(operationID, releasedAt, std::move(completion));
    }
}

void DesktopCoordinator::cancelCompleted(const Status& result, const std::string& operationID) {
    if (!isCurrentOperation(operationID)) return;
    if (!result && !operationAlreadyGone(result)) {
        retryTerminal(result.error(), operationID);
        return;
    }
    endCancelledOperation();
}

void DesktopCoordinator::endCancelledOperation() {
    const auto failureMessage = operation_.pendingFailureMessage;
    const auto mode = operation_.operationMode;
    const bool pauseAfterCancellation = operation_.pauseAfterCancellation;
    if (failureMessage) {
        finishOperationSound(DictationFeedbackTerminalOutcome::error);
        clearOperation();
        deliveryLog_.error("Operation cancellation purpose={} detail={}",
                           logPublic(mode == OperationMode::agent ? "agent" : "dictation"),
                           logPrivate(*failureMessage));
        showOperationFailure(*failureMessage, mode);
    } else {
        finishOperationSound(DictationFeedbackTerminalOutcome::cancelled);
        clearOperation();
        hud_->hide();
    }
    if (pauseAfterCancellation) client_->pauseRuntime();
}

void DesktopCoordinator::showOperationFailure(const std::string& message, OperationMode mode) {
    if (hud_->isShuttingDown()) return;
    if (mode == OperationMode::agent) {
        showAgentMessage(message);
    } else {
        hud_->showError();
    }
}

void DesktopCoordinator::showAgentMessage(const std::string& text) {
    const auto trimmed = unicode::trimWhitespaceAndNewlines(text);
    if (trimmed.empty()) {
        hud_->hideAgentAnswer(false);
        return;
    }
    hud_->showAgentAnswer(trimmed, "", "", "", {}, {});
}

void DesktopCoordinator::releaseCompleted(const Result<DictationCommandResponse>& reply,
                                          const std::string& operationID) {
    if (operation_.terminal.intent() == TerminalIntent::cancel || deliveredOperations_.contains(operationID) ||
        !isCurrentOperation(operationID)) {
        return;
    }
    if (!reply) {
        // The engine already finalised the operation; its events end it.
        if (!operation_.terminal.serverFinalizationObserved()) retryTerminal(reply.error(), operationID);
        return;
    }
    const bool agent = operation_.operationMode == OperationMode::agent;
    if (reply->operationID != operationID) {
        if (agent) {
            failAgent("agent_invalid_release_response", std::nullopt, operationID);
        } else {
            fail(strings().coreReleaseAcknowledgementMismatch());
        }
        return;
    }
    // Words already on their way are not dropped for a late "no speech".
    if (reply->reasonCode == "no_speech" && !finalTextTaken()) {
        finishOperationSound(DictationFeedbackTerminalOutcome::cancelled);
        clearOperation();
        hud_->hide();
        return;
    }
    if (agent) {
        if (reply->agentAnswer) {
            handleAgentAnswer(*reply->agentAnswer, operationID, true);
        } else if (reply->errorMessage && !unicode::trimWhitespaceAndNewlines(*reply->errorMessage).empty()) {
            failAgent(reply->reasonCode.value_or("agent_operation_failed"), reply->messageKey, operationID);
        } else {
            recoverAgentTerminalPayload(operationID, 0);
        }
        return;
    }
    const auto text = unicode::trimWhitespaceAndNewlines(reply->finalText.value_or(""));
    if (!text.empty()) {
        handleFinal(text, operationID, std::nullopt);
    } else if (!finalTextTaken()) {
        fail(strings().finalTranscriptionMissing());
    }
}

void DesktopCoordinator::retryTerminal(const Error& error, const std::string& operationID) {
    if (!isCurrentOperation(operationID)) return;
    const auto mode = operation_.operationMode;
    const bool agent = mode == OperationMode::agent;
    const auto action = operation_.terminal.failed();
    if (const auto* retry = std::get_if<TerminalRequestMachine::RetryAfter>(&action)) {
        sendTerminalAfter(retry->delay, operationID);
        return;
    }
    if (std::holds_alternative<TerminalRequestMachine::ReleaseAbandoned>(action)) {
        deliveryLog_.error("Operation finish purpose={} detail={}", logPublic(rawValue(mode)),
                           logPrivate(error.message));
        operation_.pendingFailureMessage =
            agent ? strings().agentCouldNotComplete() : strings().dictationFinishFailed();
        finishOperationSound(DictationFeedbackTerminalOutcome::error);
        sendTerminalIfReady();
        return;
    }
    // A cancel is never given up while the operation lives: the user is told,
    // and a new series begins after a pause.
    const auto& exhausted = std::get<TerminalRequestMachine::CancelSeriesExhausted>(action);
    operation_.pendingFailureMessage = agent ? strings().agentCouldNotComplete() : strings().dictationCancelPending();
    finishOperationSound(DictationFeedbackTerminalOutcome::error);
    deliveryLog_.error("Operation cancellation pending purpose={} detail={}", logPublic(rawValue(mode)),
                       logPrivate(error.message));
    showOperationFailure(*operation_.pendingFailureMessage, mode);
    sendTerminalAfter(exhausted.pause, operationID);
}

void DesktopCoordinator::sendTerminalAfter(Duration delay, const std::string& operationID) {
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    operation_.terminalRetry = ports_.loop.after(delay, [weak, operationID] {
        auto self = weak.lock();
        if (self && self->isCurrentOperation(operationID)) self->sendTerminalIfReady();
    });
}

void DesktopCoordinator::reconcileServerFinalization(const std::string& operationID,
                                                     std::optional<MonotonicTime> sourceTime, std::string_view stage) {
    if (!isCurrentOperation(operationID) || operation_.terminal.intent() == TerminalIntent::cancel) return;
    const auto finalizedAt = sourceTime.value_or(now());
    const bool releasedNow = !operation_.terminal.intent();
    if (releasedNow) captureDeliveryTargetAtRelease();
    operation_.terminal.serverFinalized();
    if (releasedNow) {
        operation_.releasedMonotonicNanoseconds = finalizedAt;
        logNativeTiming(stage, finalizedAt, operationID, sourceTime);
    }
    finishNativeAudio(operationID, false);
    hud_->showProcessing(hudPurpose());
    armProcessingWatchdog(operationID);
}

}  // namespace murmo
