// The engine's events for the current operation, and the audio transport's
// failures. A field of the wrong JSON kind counts as absent; an event for
// another operation, or for none, does nothing.

#include "coordinator/DesktopCoordinator.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

bool stringFieldIs(const JSONValue::Object& data, std::string_view key, std::string_view expected) {
    const auto* value = stringMember(data, key);
    return value && *value == expected;
}

bool isType(const CoreEvent& event, std::string_view dotted, std::string_view shortName) {
    return event.type == dotted || event.type == shortName;
}

std::optional<MonotonicTime> eventTime(const CoreEvent& event) {
    if (!event.monotonicNanoseconds) return std::nullopt;
    return MonotonicTime(Duration(static_cast<Duration::rep>(*event.monotonicNanoseconds)));
}

}  // namespace

void DesktopCoordinator::coreEvent(const CoreEvent& event) {
    if (shortcutCaptureEvent(event)) return;
    if (webAudioOperationID_ && event.operationID == webAudioOperationID_) {
        dashboardRecordingEvent(event);
        return;
    }
    if (!operation_.operationID || event.operationID != operation_.operationID) return;
    operationEvent(event);
}

void DesktopCoordinator::dashboardRecordingEvent(const CoreEvent& event) {
    const auto operationID = *webAudioOperationID_;
    if (isType(event, "dictation.state_changed", "state")) {
        if (stringFieldIs(event.data, "phase", "processing")) {
            finishNativeAudio(operationID, false);
        } else if (stringFieldIs(event.data, "phase", "idle")) {
            finishNativeAudio(operationID, true);
        }
    } else if (event.type == "error" || isType(event, "dictation.final", "final")) {
        finishNativeAudio(operationID, true);
    }
}

void DesktopCoordinator::operationEvent(const CoreEvent& event) {
    const auto& data = event.data;
    const auto operationID = *operation_.operationID;
    const auto mode = operation_.operationMode;
    const bool cancelling = operation_.terminal.intent() == TerminalIntent::cancel;

    if (isType(event, "dictation.raw_final", "raw_final")) {
        if (mode != OperationMode::agent) return;
        const auto* text = stringMember(data, "text");
        operation_.agentRecognizedQuestion =
            text ? std::optional(unicode::trimWhitespaceAndNewlines(*text)) : std::nullopt;
    } else if (isType(event, "agent.answer", "agent_answer")) {
        if (mode != OperationMode::agent || cancelling) return;
        reconcileServerFinalization(operationID, eventTime(event), "agent_answer");
        handleAgentAnswer(data, operationID, true);
    } else if (event.type == "dictation.live_commit") {
        const auto* text = stringMember(data, "text");
        if (cancelling || mode != OperationMode::dictation || !text) return;
        if (operation_.liveWriter) operation_.liveWriter->append(*text);
    } else if (isType(event, "dictation.final", "final")) {
        if (cancelling || mode == OperationMode::agent) return;
        reconcileServerFinalization(operationID, eventTime(event), "server_final");
        const auto* text = stringMember(data, "text");
        if (!text) text = stringMember(data, "final_text");
        if (text && !unicode::trimWhitespaceAndNewlines(*text).empty())
            handleFinal(*text, operationID, eventTime(event));
    } else if (isType(event, "audio.level", "audio_level")) {
        const auto* level = member(data, "normalized_level");
        if (level && level->number()) hud_->updateLevel(*level->number());
    } else if (isType(event, "dictation.state_changed", "state")) {
        if (stringFieldIs(data, "phase", "processing")) {
            reconcileServerFinalization(operationID, eventTime(event), "server_processing");
        } else if (stringFieldIs(data, "phase", "idle")) {
            operationBecameIdle(event);
        }
    } else if (event.type == "error") {
        if (cancelling) return;
        if (mode == OperationMode::agent) {
            failAgent(optionalStringMember(data, "reason_code"), optionalStringMember(data, "message_key"),
                      operationID);
        } else {
            fail(localizedCoreFailure(data));
        }
    } else if (event.type == "warning") {
        if (stringFieldIs(data, "message_key", "backend.recording_limit_reached")) {
            reconcileServerFinalization(operationID, eventTime(event), "recording_limit");
        }
    }
}

void DesktopCoordinator::operationBecameIdle(const CoreEvent& event) {
    const auto& data = event.data;
    const auto operationID = *operation_.operationID;
    // Once the final text is taken, its delivery ends the operation: a later
    // idle state without text must neither drop it nor play an error.
    const bool textTaken = finalTextTaken();
    if (stringFieldIs(data, "reason_code", "no_speech") && !textTaken) {
        finishOperationSound(DictationFeedbackTerminalOutcome::cancelled);
        clearOperation();
        hud_->hide();
        return;
    }
    if (operation_.terminal.intent() == TerminalIntent::cancel) {
        // The engine confirms the cancellation.
        endCancelledOperation();
        return;
    }
    reconcileServerFinalization(operationID, eventTime(event), "server_idle");
    if (operation_.terminal.intent() != TerminalIntent::release) return;

    const auto* error = stringMember(data, "error");
    const bool hasError = error && !error->empty();
    if (operation_.operationMode == OperationMode::agent) {
        if (const auto* answer = objectMember(data, "agent_answer")) {
            handleAgentAnswer(*answer, operationID, true);
        } else if (hasError) {
            failAgent(optionalStringMember(data, "reason_code"), optionalStringMember(data, "message_key"),
                      operationID);
        } else {
            recoverAgentTerminalPayload(operationID, 0);
        }
        return;
    }
    const auto* finalText = stringMember(data, "final_text");
    const auto trimmed = finalText ? unicode::trimWhitespaceAndNewlines(*finalText) : std::string();
    if (!trimmed.empty()) {
        handleFinal(trimmed, operationID, eventTime(event));
    } else if (textTaken) {
        return;
    } else if (hasError) {
        fail(localizedCoreFailure(data));
    } else {
        fail(strings().finalTranscriptionMissing());
    }
}

void DesktopCoordinator::nativeAudioTransportFailed(const std::string& operationID, const std::string& reason) {
    if (webAudioOperationID_ == operationID) {
        abandonDashboardRecordingAfterTransportFailure();
        return;
    }
    if (!isCurrentOperation(operationID) || operation_.terminal.intent() == TerminalIntent::cancel) return;
    deliveryLog_.fault("Native audio transport failure operation={} reason={}", logHashed(operationID),
                       logPublic(reason));
    const auto mode = operation_.operationMode;
    operation_.pendingFailureMessage =
        mode == OperationMode::agent ? strings().agentAudioUnclear() : strings().nativeAudioTransportInterrupted();
    finishOperationSound(DictationFeedbackTerminalOutcome::error);
    showOperationFailure(*operation_.pendingFailureMessage, mode);
    requestTerminal(TerminalIntent::cancel, std::nullopt);
}

}  // namespace murmo
