#include "delivery/DeliveryTargetRevalidation.h"

#include <chrono>

#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "delivery/FocusPolicies.h"

namespace murmo {

namespace {

using Kind = DeliveryTargetRevalidation::Kind;

// One pass; none means "try the next pass".
std::optional<DeliveryTargetRevalidation> revalidationPass(FocusCapture& capture, const FocusTargetSnapshot& target,
                                                           const CancelToken& cancel) {
    if (cancel.isCancelled()) return DeliveryTargetRevalidation{Kind::cancelled};
    const DeliveryTargetRevalidation changed{Kind::changed};
    if (!capture.hostUnchanged(target.pid, target.processBirth, target.inputEpoch)) return changed;
    if (target.focusedWindow) {
        switch (capture.focusedWindowValidation(target.pid, target.focusedWindow, std::nullopt)) {
            case FocusWindowValidation::changed: return changed;
            case FocusWindowValidation::temporarilyUnavailable: return std::nullopt;
            case FocusWindowValidation::match: break;
        }
    }
    auto attempt = capture.focusedElementAttempt(target.pid, std::nullopt, false);
    if (!attempt.resolution) return std::nullopt;
    const auto& resolution = *attempt.resolution;
    if (isCapturedElement(resolution, target)) {
        auto current = capture.selectedTextRange(resolution.element, std::nullopt, target.elementMessagingTimeout);
        switch (FocusSelectionRevalidationPolicy::disposition(target.selectedRange, current)) {
            case FocusSelectionDisposition::exact: return DeliveryTargetRevalidation{Kind::validated, resolution};
            case FocusSelectionDisposition::transient: return std::nullopt;
            case FocusSelectionDisposition::changed: return changed;
        }
    }
    auto role = capture.stringAttribute(resolution.element, axattr::role, std::nullopt);
    const bool pasteCapable = capture.pasteCapability(resolution.element, std::nullopt).value_or(false);
    if (FocusCandidatePolicy::disposition(role, pasteCapable) == FocusCandidateDisposition::retryablePartialTree) {
        return std::nullopt;
    }
    return changed;
}

}  // namespace

bool isCapturedElement(const FocusedElementResolution& resolution, const FocusTargetSnapshot& target) {
    return resolution.ownerPID == target.elementPID && resolution.element == target.element;
}

Task<DeliveryTargetRevalidation> DeliveryTargetRevalidation::run(std::weak_ptr<DeliveryServices> services,
                                                                 MainLoop& loop, FocusTargetSnapshot target,
                                                                 CancelToken cancel) {
    for (const auto delay : AXManualAccessibilityRetryPolicy::deliveryRevalidationDelays()) {
        if (delay > Duration::zero() && !co_await sleepFor(loop, delay, cancel)) {
            co_return DeliveryTargetRevalidation{Kind::cancelled};
        }
        auto locked = services.lock();
        if (!locked) co_return DeliveryTargetRevalidation{Kind::cancelled};
        if (auto result = revalidationPass(locked->capture, target, cancel)) co_return *result;
    }
    co_return DeliveryTargetRevalidation{Kind::treeUnavailable};
}

}  // namespace murmo
