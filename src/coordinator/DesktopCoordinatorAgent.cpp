// How an assistant operation ends on the coordinator's side: with an answer,
// or with a failure shown in the assistant's panel.

#include "coordinator/DesktopCoordinator.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

std::optional<std::string> trimmed(const std::optional<std::string>& value) {
    if (!value) return std::nullopt;
    return unicode::trimWhitespaceAndNewlines(*value);
}

}  // namespace

void DesktopCoordinator::handleAgentAnswer(const JSONValue::Object&, const std::string& operationID,
                                           bool finalizeOperation) {
    if (!finalizeOperation || !isCurrentOperation(operationID) || operation_.operationMode != OperationMode::agent ||
        deliveredOperations_.contains(operationID)) {
        return;
    }
    // The answer ends the operation; the panel and the voice that present it
    // are not wired to the coordinator yet.
    deliveredOperations_.remember(operationID);
    soundFeedback_->finish(operationID, DictationFeedbackTerminalOutcome::inserted);
    hud_->hide();
    clearOperation();
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

void DesktopCoordinator::recoverAgentTerminalPayload(const std::string&, int) {
    // Without a lookup of the operation, an answer that never comes is left
    // to the processing watchdog.
}

}  // namespace murmo
