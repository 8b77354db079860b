#include "delivery/AccessibilityFallbackWrite.h"

#include "delivery/DeliveryTargetRevalidation.h"
#include "delivery/TextInsertionVerification.h"

namespace murmo {

namespace {

// Whether the found element may take the write: none of these is reported,
// the clipboard failure is.
bool qualifies(FocusCapture& capture, const FocusedElementResolution& resolution, const FocusTargetSnapshot& target) {
    const auto& element = resolution.element;
    const auto timeout = target.elementMessagingTimeout;
    if (resolution.ownerPID != target.pid) return false;
    if (!capture.pasteCapability(element, std::nullopt, timeout).value_or(false)) return false;
    // A web view's text engine may take the write differently from what it
    // reports back; such fields only get the clipboard.
    if (capture.isWebBacked(element, timeout)) return false;
    if (!target.selectedRange) return false;
    auto current = capture.selectedTextRange(element, std::nullopt, timeout);
    if (current != target.selectedRange) return false;
    return capture.isSelectedTextSettable(element, axattr::selectedText, std::nullopt, timeout);
}

}  // namespace

Task<bool> AccessibilityFallbackWrite::run(DeliveryContext context, std::string text, FocusTargetSnapshot target) {
    const auto& run = context.run;
    if (run.cancel.isCancelled()) co_return true;
    auto revalidation = co_await DeliveryTargetRevalidation::run(context.services, context.loop, target, run.cancel);
    auto services = context.services.lock();
    if (!services) co_return true;
    switch (revalidation.kind) {
        case DeliveryTargetRevalidation::Kind::cancelled: co_return true;
        case DeliveryTargetRevalidation::Kind::changed:
            context.fail(*services, DeliveryFailure::focusedElementChanged);
            co_return true;
        case DeliveryTargetRevalidation::Kind::treeUnavailable:
            context.fail(*services, CaptureFailure::accessibilityTreeNotReady);
            co_return true;
        case DeliveryTargetRevalidation::Kind::validated: break;
    }
    if (run.cancel.isCancelled()) co_return true;
    auto& capture = services->capture;
    const auto& element = revalidation.resolution.element;
    const auto timeout = target.elementMessagingTimeout;
    if (capture.secureState(element, std::nullopt, timeout).value_or(true)) {
        context.fail(*services, DeliveryFailure::secureField);
        co_return true;
    }
    if (!qualifies(capture, revalidation.resolution, target)) co_return false;
    const auto range = *target.selectedRange;
    if (!rangeIsUsable(range, text)) {
        context.fail(*services, DeliveryFailure::selectedRangeInvalid);
        co_return true;
    }
    auto valueBefore = boundedValue(capture, element, std::nullopt, timeout);
    auto expected = TextInsertionVerification::expectedValue(valueBefore, range, text);
    if (run.cancel.isCancelled()) co_return true;
    const auto error =
        capture.ports().accessibility.setAttributeValue(element, axattr::selectedText, AXAttributeValue(text), timeout);
    if (error != axerror::success) {
        context.fail(*services, DeliveryFailure::accessibilityWriteUnconfirmed);
        co_return true;
    }
    auto valueAfter = boundedValue(capture, element, std::nullopt, timeout);
    auto after = capture.selectedTextRange(element, std::nullopt, timeout);
    const bool verified = TextInsertionVerification::isVerifiedInsertion(expected, valueBefore, valueAfter, range,
                                                                         after, utf16Count(text), text);
    context.inserted(*services, TextDeliveryMethod::accessibility, verified);
    co_return true;
}

}  // namespace murmo
