// The final text: where it goes (the live writer that already typed it, the
// application's own editor, the target taken at release, or the current
// focus of the pinned application), what the user sees and hears at the end,
// and the one report to the engine.

#include "coordinator/DeliveryReport.h"
#include "coordinator/DesktopCoordinator.h"

namespace murmo {

namespace {

constexpr HUDSeconds kClipboardOfferDuration{4.0};

}  // namespace

bool DesktopCoordinator::finalTextTaken() const {
    if (!operation_.operationID) return false;
    return operation_.pendingFinalText.has_value() || deliveredOperations_.contains(*operation_.operationID);
}

void DesktopCoordinator::handleFinal(const std::string& text, const std::string& operationID,
                                     std::optional<MonotonicTime> sourceTime) {
    if (!isCurrentOperation(operationID) || deliveredOperations_.contains(operationID) || !operation_.targetID) return;
    const auto targetID = *operation_.targetID;
    if (!operation_.finalReceivedMonotonicNanoseconds) {
        const auto receivedAt = now();
        operation_.finalReceivedMonotonicNanoseconds = receivedAt;
        logNativeTiming("final_receive", receivedAt, operationID, sourceTime);
    }

    if (operation_.liveWriter) {
        if (operation_.liveWriter->touched()) {
            deliverThroughLiveWriter(text, operationID, targetID);
            return;
        }
        operation_.liveWriter->stop();
        operation_.liveWriter.reset();
    }

    if (operation_.targetCapturePending) {
        if (operation_.finalFocusRetryAttempted) {
            // The retry's completion delivers the first text; a second one
            // waits for nothing.
            if (!operation_.pendingFinalText) operation_.pendingFinalText = text;
            return;
        }
        if (operation_.targetCaptureTask) operation_.targetCaptureTask->cancel();
        operation_.targetCaptureTask.reset();
        operation_.targetCapturePending = false;
        if (!operation_.captureFailure) operation_.captureFailure = CaptureFailure::accessibilityTreeNotReady;
    }
    if (startFinalFocusRetry(text)) return;

    deliveredOperations_.remember(operationID);
    pendingDeliveryContexts_[operationID] = PendingDeliveryContext{targetID, false};

    if (operation_.internalDictation && deliverInternalDictation) {
        deliverInternally(text, operationID, targetID);
        return;
    }
    if (operation_.target) {
        std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
        injector_->deliver(
            text, *operation_.target,
            [weak, operationID](MonotonicTime at) {
                if (auto self = weak.lock()) self->commandDispatched(operationID, at);
            },
            [weak, text, operationID, targetID](DeliveryResult result) {
                if (auto self = weak.lock()) self->completeDelivery(result, text, operationID, targetID);
            });
        return;
    }
    deliverWithoutTarget(text, operationID, targetID);
}

void DesktopCoordinator::deliverThroughLiveWriter(const std::string& text, const std::string& operationID,
                                                  const std::string& targetID) {
    auto& writer = *operation_.liveWriter;
    const bool complete = writer.append(text);
    writer.stop();
    deliveredOperations_.remember(operationID);
    pendingDeliveryContexts_[operationID] = PendingDeliveryContext{targetID, false};
    const auto result =
        complete ? DeliveryResult::inserted(
                       writer.hasElement() ? TextDeliveryMethod::accessibility : TextDeliveryMethod::keyboard,
                       writer.hasElement() && !writer.paused(), Duration::zero())
                 : DeliveryResult::failed("target_changed", "live_dictation_paused",
                                          "Live writing paused. Review the completed transcript before copying.",
                                          Duration::zero());
    completeDelivery(result, text, operationID, targetID);
}

bool DesktopCoordinator::startFinalFocusRetry(const std::string& text) {
    // One more, short capture when the element was only not ready yet.
    const auto& failure = operation_.captureFailure;
    if (operation_.target || !failure || !permitsFinalFocusRetry(*failure) || !operation_.targetCapturePin ||
        operation_.finalFocusRetryAttempted) {
        return false;
    }
    operation_.finalFocusRetryAttempted = true;
    operation_.targetCapturePending = true;
    operation_.pendingFinalText = text;
    startTargetCapture(*operation_.targetCapturePin, FocusCapturePhase::finalization, focusCaptureState_.generation());
    return true;
}

void DesktopCoordinator::deliverInternally(const std::string& text, const std::string& operationID,
                                           const std::string& targetID) {
    if (!ownApplicationIsFrontmost()) {
        if (cancelInternalDictation) cancelInternalDictation(operationID);
        completeDelivery(DeliveryResult::failed("target_changed", "internal_host_changed",
                                                "The internal editor is no longer active.", Duration::zero()),
                         text, operationID, targetID);
        return;
    }
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    deliverInternalDictation(operationID, text, [weak, text, operationID, targetID](bool inserted) {
        auto self = weak.lock();
        if (!self) return;
        const auto result = inserted
                                ? DeliveryResult::inserted(TextDeliveryMethod::internalEditor, true, Duration::zero())
                                : DeliveryResult::failed("target_changed", "internal_target_changed",
                                                         "The internal editor target changed.", Duration::zero());
        self->completeDelivery(result, text, operationID, targetID);
    });
}

void DesktopCoordinator::deliverWithoutTarget(const std::string& text, const std::string& operationID,
                                              const std::string& targetID) {
    const auto& failure = operation_.captureFailure;
    if (failure && permitsCurrentFocusFallback(*failure) && operation_.targetCapturePin) {
        const auto& pin = *operation_.targetCapturePin;
        deliveryLog_.notice("Using current-focus compatibility delivery host_pid={} app={} trigger={}",
                            logPublic(pin.pid), logPublic(pin.bundleIdentifier.value_or("unknown")),
                            logPublic(reasonCode(*failure)));
        std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
        injector_->deliver(
            text, pin, "capture_" + std::string(reasonCode(*failure)),
            [weak, operationID](MonotonicTime at) {
                if (auto self = weak.lock()) self->commandDispatched(operationID, at);
            },
            [weak, text, operationID, targetID](DeliveryResult result) {
                if (auto self = weak.lock()) self->completeDelivery(result, text, operationID, targetID);
            });
        return;
    }
    const auto result =
        failure ? DeliveryResult::failed(std::string(deliveryOutcome(*failure)), std::string(reasonCode(*failure)),
                                         std::string(errorDescription(*failure)), Duration::zero())
                : DeliveryResult::failed("no_editable_target", "no_target_snapshot", strings().noEditableTarget(),
                                         Duration::zero());
    completeDelivery(result, text, operationID, targetID);
}

void DesktopCoordinator::commandDispatched(const std::string& operationID, MonotonicTime at) {
    auto context = pendingDeliveryContexts_.find(operationID);
    if (context == pendingDeliveryContexts_.end() || context->second.uiCompleted) return;
    logNativeTiming("cmd_v_post", at, operationID, std::nullopt);
    context->second.uiCompleted = true;
    showDeliverySuccess(operationID);
    // The next dictation may start while this paste is still being verified.
    if (isCurrentOperation(operationID)) clearOperation();
}

void DesktopCoordinator::showDeliverySuccess(const std::string& operationID) {
    soundFeedback_->finish(operationID, DictationFeedbackTerminalOutcome::inserted);
    if (!hud_->isShuttingDown()) hud_->showSuccess(HUDSuccessKind::inserted);
    logNativeTiming("ui_completion", now(), operationID, std::nullopt);
}

void DesktopCoordinator::completeDelivery(const DeliveryResult& result, const std::string& text,
                                          const std::string& operationID, const std::string& targetID) {
    auto context = pendingDeliveryContexts_.find(operationID);
    if (context == pendingDeliveryContexts_.end() || context->second.targetID != targetID) return;
    const bool uiCompleted = context->second.uiCompleted;
    pendingDeliveryContexts_.erase(context);
    client_->reportDeliveryResult(operationID, deliveryReport(result, targetID));

    if (const auto* failure = result.failure()) {
        deliveryLog_.error("Delivery failed outcome={} reason={} elapsed_ms={}", logPublic(failure->outcome),
                           logPublic(failure->reasonCode), logPublic(toMilliseconds(failure->elapsed)));
        soundFeedback_->finish(operationID, DictationFeedbackTerminalOutcome::error);
        // The words are not lost: they stay on offer for copying.
        if (!hud_->isShuttingDown()) hud_->showClipboard(text, HUDClipboardFailure::paste, kClipboardOfferDuration, {});
        deliveryLog_.error("Delivery fallback: {}", logPublic(failure->message));
    } else {
        const auto& insertion = *result.insertion();
        deliveryLog_.notice("Delivery accepted method={} verified={} elapsed_ms={}",
                            logPublic(rawValue(insertion.method)), logPublic(insertion.verified),
                            logPublic(toMilliseconds(insertion.elapsed)));
        if (!uiCompleted) showDeliverySuccess(operationID);
    }
    if (isCurrentOperation(operationID)) clearOperation();
}

}  // namespace murmo
