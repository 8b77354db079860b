// How an assistant operation ends on the coordinator's side: with a checked
// answer shown and/or spoken (with Confirm and Cancel when it proposes an
// action), with a failure shown in the assistant's panel, or, when the
// release brought no answer, after a few lookups of the operation.

#include "coordinator/AgentTerminalPayload.h"
#include "coordinator/DesktopCoordinator.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

std::optional<std::string> trimmed(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    return unicode::trimWhitespaceAndNewlines(*value);
}

}  // namespace

void DesktopCoordinator::handleAgentAnswer(const JSONValue::Object& answer, const std::string& operationID,
                                           bool finalizeOperation) {
    std::optional<std::string_view> expectedQuestion;
    if (finalizeOperation) {
        if (!isCurrentOperation(operationID) || operation_.operationMode != OperationMode::agent ||
            deliveredOperations_.contains(operationID)) {
            return;
        }
        if (operation_.agentRecognizedQuestion) expectedQuestion = *operation_.agentRecognizedQuestion;
    }
    auto payload = AgentTerminalPayload::parse(answer, agentResponseMode_, expectedQuestion);
    if (!payload) {
        const auto code = std::string(reasonCode(payload.error()));
        deliveryLog_.error("Agent answer rejected reason={} operation={}", logPublic(code), logHashed(operationID));
        // An unusable answer is never shown: only the failure's text is.
        if (finalizeOperation) {
            failAgent(code, std::nullopt, operationID);
        } else {
            showAgentMessage(localizedAgentFailure(code, std::nullopt));
        }
        return;
    }
    presentAgentAnswer(*payload, operationID);
    if (!finalizeOperation) return;

    deliveredOperations_.remember(operationID);
    deliveryLog_.notice("Agent answer delivered purpose=agent route={} response_mode={} operation={}",
                        logPublic(payload->route.value_or("local")), logPublic(rawValue(payload->responseMode)),
                        logHashed(operationID));
    soundFeedback_->finish(operationID, DictationFeedbackTerminalOutcome::inserted);
    if (!showsText(payload->responseMode)) hud_->hide();
    if (isCurrentOperation(operationID)) clearOperation();
}

void DesktopCoordinator::presentAgentAnswer(const AgentTerminalPayload& payload, const std::string& operationID) {
    if (showsText(payload.responseMode)) {
        // The panel's actions act on the answer's own operation, which may
        // no longer be the current one when the user chooses.
        std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
        HUDController::Callback onConfirm;
        HUDController::Callback onCancel;
        if (payload.requiresConfirmation) {
            onConfirm = [weak, operationID, token = payload.confirmationToken] {
                if (auto self = weak.lock()) self->confirmAgentAnswer(operationID, token);
            };
            onCancel = [weak, operationID] {
                if (auto self = weak.lock()) self->client_->cancelAgentOperation(operationID);
            };
        }
        const auto localized = strings();
        hud_->showAgentAnswer(payload.displayText, payload.confirmationLabel, localized.confirm(), localized.cancel(),
                              std::move(onConfirm), std::move(onCancel));
    }
    if (speaks(payload.responseMode)) {
        const auto language = payload.language.value_or(std::string(rawValue(strings().language())));
        agentSpeech_->speak(payload.spokenText, language, agentTTSVoice_, agentTTSRate_);
    }
}

void DesktopCoordinator::confirmAgentAnswer(const std::string& operationID, const std::string& token) {
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    client_->confirmAgentOperation(operationID, token, [weak, operationID](Result<JSONValue::Object> reply) {
        auto self = weak.lock();
        if (!self) return;
        if (!reply) {
            self->deliveryLog_.error("Agent confirmation detail={}", logPrivate(reply.error().message));
            self->showAgentMessage(self->strings().agentCouldNotComplete());
            return;
        }
        self->handleAgentAnswer(*reply, operationID, false);
    });
}

void DesktopCoordinator::failAgent(const std::optional<std::string>& reasonCode,
                                   const std::optional<std::string>& messageKey, const std::string& operationID) {
    if (!isCurrentOperation(operationID) || operation_.operationMode != OperationMode::agent ||
        deliveredOperations_.contains(operationID)) {
        return;
    }
    const auto reason = trimmed(reasonCode);
    const auto key = trimmed(messageKey);
    const auto message = localizedAgentFailure(reason, key);
    const bool pauseAfterCancellation = std::exchange(operation_.pauseAfterCancellation, false);
    // No cancel goes out: the engine ended the operation itself, or its
    // answer was unusable.
    clearOperation();
    soundFeedback_->finish(operationID, DictationFeedbackTerminalOutcome::error);
    deliveryLog_.error("Agent error purpose=agent reason={} operation={}",
                       logPublic(reason.value_or(key.value_or("unknown"))), logHashed(operationID));
    if (!hud_->isShuttingDown()) showAgentMessage(message);
    if (pauseAfterCancellation) client_->pauseRuntime();
}

bool DesktopCoordinator::agentOperationAwaitsAnswer(const std::string& operationID) const {
    return isCurrentOperation(operationID) && operation_.operationMode == OperationMode::agent &&
           !deliveredOperations_.contains(operationID);
}

void DesktopCoordinator::recoverAgentTerminalPayload(const std::string& operationID, int attempt) {
    if (!agentOperationAwaitsAnswer(operationID) || operation_.terminal.intent() != TerminalIntent::release) return;
    // The first lookup is scheduled once, however many replies ask for it.
    if (attempt == 0 && std::exchange(operation_.agentRecoveryScheduled, true)) return;
    const Duration delay = attempt == 0 ? kFirstAgentLookupDelay : (attempt + 1) * kAgentLookupStep;
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    operation_.agentRecovery = ports_.loop.after(delay, [weak, operationID, attempt] {
        auto self = weak.lock();
        if (!self || !self->agentOperationAwaitsAnswer(operationID)) return;
        self->client_->fetchAgentOperation(operationID, [weak, operationID, attempt](Result<JSONValue::Object> reply) {
            auto self = weak.lock();
            if (self && self->agentOperationAwaitsAnswer(operationID)) {
                self->agentLookupReplied(reply, operationID, attempt);
            }
        });
    });
}

void DesktopCoordinator::agentLookupReplied(const Result<JSONValue::Object>& reply, const std::string& operationID,
                                            int attempt) {
    if (!reply) {
        deliveryLog_.error("Agent typed recovery failed attempt={} detail={}", logPublic(attempt),
                           logPrivate(reply.error().message));
        if (attempt <= 1) recoverAgentTerminalPayload(operationID, attempt + 1);
        return;
    }
    const auto& object = *reply;
    if (objectMember(object, "answer")) {
        handleAgentAnswer(object, operationID, true);
        return;
    }
    const auto state = optionalStringMember(object, "state");
    if (state == "failed") {
        failAgent(optionalStringMember(object, "reason_code").value_or("agent_operation_failed"),
                  optionalStringMember(object, "message_key"), operationID);
    } else if (attempt < kLastAgentLookup) {
        recoverAgentTerminalPayload(operationID, attempt + 1);
    } else if (state == "succeeded" || state == "waiting_user") {
        failAgent("agent_empty_output", std::nullopt, operationID);
    }
    // Any other state at the last lookup leaves the operation to the
    // processing watchdog.
}

}  // namespace murmo
