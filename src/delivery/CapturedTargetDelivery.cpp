#include "delivery/CapturedTargetDelivery.h"

#include <chrono>

#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "delivery/AccessibilityFallbackWrite.h"
#include "delivery/CurrentFocusDelivery.h"
#include "delivery/DeliveryTargetRevalidation.h"
#include "delivery/FocusPolicies.h"
#include "delivery/TextInsertionVerification.h"

namespace murmo {

namespace {

constexpr int kMaximumPasteStarts = 5;

Task<void> toCurrentFocus(const DeliveryContext& context, const std::string& text, const FocusTargetSnapshot& target,
                          std::string triggerReason) {
    return CurrentFocusDelivery::run(context, text, CurrentFocusHost::of(target), std::move(triggerReason));
}

// Whether the captured element may take the clipboard now.
ClipboardTargetValidation clipboardTargetValidation(FocusCapture& capture, const FocusTargetSnapshot& target) {
    if (!capture.hostUnchanged(target.pid, target.processBirth, target.inputEpoch)) {
        return ClipboardTargetValidation::changed;
    }
    switch (capture.focusedWindowValidation(target.pid, target.focusedWindow, std::nullopt)) {
        case FocusWindowValidation::temporarilyUnavailable: return ClipboardTargetValidation::transient;
        case FocusWindowValidation::changed: return ClipboardTargetValidation::changed;
        case FocusWindowValidation::match: break;
    }
    auto attempt = capture.focusedElementAttempt(target.pid, std::nullopt, false);
    if (!attempt.resolution) return ClipboardTargetValidation::transient;
    const auto& element = attempt.resolution->element;
    if (isCapturedElement(*attempt.resolution, target)) {
        const auto timeout = target.elementMessagingTimeout;
        if (capture.secureState(element, std::nullopt, timeout).value_or(true)) {
            return ClipboardTargetValidation::changed;
        }
        if (!capture.pasteCapability(element, std::nullopt, timeout).value_or(false)) {
            return ClipboardTargetValidation::transient;
        }
        auto current = capture.selectedTextRange(element, std::nullopt, timeout);
        switch (FocusSelectionRevalidationPolicy::disposition(target.selectedRange, current)) {
            case FocusSelectionDisposition::exact: return ClipboardTargetValidation::exact;
            case FocusSelectionDisposition::transient: return ClipboardTargetValidation::transient;
            case FocusSelectionDisposition::changed: return ClipboardTargetValidation::changed;
        }
    }
    auto paste = capture.pasteCapability(element, std::nullopt);
    if (!paste) return ClipboardTargetValidation::transient;
    auto role = capture.stringAttribute(element, axattr::role, std::nullopt);
    if (FocusCandidatePolicy::disposition(role, *paste) == FocusCandidateDisposition::retryablePartialTree) {
        return ClipboardTargetValidation::transient;
    }
    return ClipboardTargetValidation::changed;
}

// Starts one clipboard paste into the captured target.
ClipboardPasteStart startTargetPaste(DeliveryServices& services, const DeliveryContext& context,
                                     const std::string& text, const FocusTargetSnapshot& target) {
    auto evidence = std::make_shared<InsertionEvidence>();
    auto validate = [weak = context.services, &target, &text, evidence] {
        auto locked = weak.lock();
        if (!locked) return ClipboardTargetValidation::changed;
        auto& capture = locked->capture;
        const auto validation = clipboardTargetValidation(capture, target);
        if (validation != ClipboardTargetValidation::exact) return validation;
        evidence->valueBefore = boundedValue(capture, target.element, std::nullopt, target.elementMessagingTimeout);
        if (target.selectedRange) {
            evidence->expectedValue =
                TextInsertionVerification::expectedValue(evidence->valueBefore, *target.selectedRange, text);
        }
        return ClipboardTargetValidation::exact;
    };
    auto consumed = [target, text, evidence](FocusCapture& capture) {
        auto frontmost = capture.ports().workspace.frontmostApplication();
        if (!frontmost || frontmost->processIdentifier != target.pid) return false;
        auto attempt = capture.focusedElementAttempt(target.pid, std::nullopt, false);
        if (!attempt.resolution || !isCapturedElement(*attempt.resolution, target)) return false;
        const auto timeout = target.elementMessagingTimeout;
        if (capture.secureState(target.element, std::nullopt, timeout).value_or(true)) return false;
        auto valueAfter = boundedValue(capture, target.element, std::nullopt, timeout);
        auto current = capture.selectedTextRange(target.element, std::nullopt, timeout);
        return TextInsertionVerification::isVerifiedInsertion(evidence->expectedValue, evidence->valueBefore,
                                                              valueAfter, target.selectedRange, current,
                                                              utf16Count(text), text);
    };
    return services.paster.beginPasteReporting(text, target.pid, validate,
                                               observedOnce(context.services, evidence, std::move(consumed)),
                                               context.onCommandDispatched, context.pasteCompletion());
}

// The checks between a validated target and its first paste. Returns true
// when the delivery ended here; sets `selectionChanged` when the text should
// go to the current focus instead.
bool endedBeforePaste(const DeliveryContext& context, DeliveryServices& services, const std::string& text,
                      const FocusTargetSnapshot& target, const FocusedElementResolution& resolution,
                      bool& selectionChanged) {
    auto& capture = services.capture;
    const auto timeout = target.elementMessagingTimeout;
    if (capture.secureState(resolution.element, std::nullopt, timeout).value_or(true)) {
        context.fail(services, DeliveryFailure::secureField);
        return true;
    }
    if (target.selectedRange) {
        auto current = capture.selectedTextRange(resolution.element, std::nullopt, timeout);
        selectionChanged = current && *current != *target.selectedRange;
    }
    if (!selectionChanged && target.selectedRange && !rangeIsUsable(*target.selectedRange, text)) {
        context.fail(services, DeliveryFailure::selectedRangeInvalid);
        return true;
    }
    return false;
}

Task<void> validatedDelivery(DeliveryContext context, std::string text, FocusTargetSnapshot target,
                             FocusedElementResolution resolution) {
    const auto& run = context.run;
    bool selectionChanged = false;
    {
        auto services = context.services.lock();
        if (!services) co_return;
        if (endedBeforePaste(context, *services, text, target, resolution, selectionChanged)) co_return;
    }
    if (selectionChanged) {
        co_await toCurrentFocus(context, text, target, "strict_ax_selection_changed");
        co_return;
    }

    const auto delays = AXManualAccessibilityRetryPolicy::deliveryRevalidationDelays();
    ClipboardPasteStartResult result = ClipboardPasteStartResult::unavailable;
    std::optional<ClipboardPreparationFailure> failure;
    for (int starts = 0; starts < kMaximumPasteStarts; ++starts) {
        if (starts > 0) {
            if (!ClipboardPreparationRetryPolicy::shouldRetry(result, failure)) break;
            const auto pause = delays[static_cast<std::size_t>(starts) % delays.size()];
            if (!co_await sleepFor(context.loop, pause, run.cancel)) co_return;
        }
        auto services = context.services.lock();
        if (!services || run.cancel.isCancelled()) co_return;
        const auto start = startTargetPaste(*services, context, text, target);
        result = start.result;
        failure = start.failure;
    }

    switch (result) {
        case ClipboardPasteStartResult::posted: co_return;
        case ClipboardPasteStartResult::transient:
            co_await toCurrentFocus(context, text, target, "strict_clipboard_tree_unavailable");
            co_return;
        case ClipboardPasteStartResult::changed:
            co_await toCurrentFocus(context, text, target, "strict_clipboard_target_changed");
            co_return;
        case ClipboardPasteStartResult::unavailable: break;
    }
    const auto details = ClipboardFailureDetails::from(failure);
    if (auto services = context.services.lock()) {
        services->log.error("Clipboard preparation failed reason={}", logPublic(details.code));
    }
    const bool handled = co_await AccessibilityFallbackWrite::run(context, text, target);
    if (handled) co_return;
    if (auto services = context.services.lock()) context.fail(*services, details);
}

}  // namespace

Task<void> CapturedTargetDelivery::run(DeliveryContext context, std::string text, FocusTargetSnapshot target) {
    if (context.services.expired() || context.run.cancel.isCancelled()) co_return;
    if (context.refusedEmptyText(text)) co_return;
    auto revalidation =
        co_await DeliveryTargetRevalidation::run(context.services, context.loop, target, context.run.cancel);
    switch (revalidation.kind) {
        case DeliveryTargetRevalidation::Kind::changed:
            co_await toCurrentFocus(context, text, target, "strict_ax_target_changed");
            co_return;
        case DeliveryTargetRevalidation::Kind::treeUnavailable:
            co_await toCurrentFocus(context, text, target, "strict_ax_tree_unavailable");
            co_return;
        case DeliveryTargetRevalidation::Kind::cancelled: co_return;
        case DeliveryTargetRevalidation::Kind::validated: break;
    }
    if (context.run.cancel.isCancelled()) co_return;
    co_await validatedDelivery(std::move(context), std::move(text), std::move(target), revalidation.resolution);
}

}  // namespace murmo
