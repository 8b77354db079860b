#include "delivery/DeliveryContext.h"

#include "delivery/TextInsertionVerification.h"
#include "runtime/Unicode.h"

namespace murmo {

Duration DeliveryContext::elapsed(const DeliveryServices& services) const {
    return services.capture.now() - run.startedAt;
}

void DeliveryContext::fail(const DeliveryServices& services, DeliveryFailure failure) const {
    run.complete(DeliveryResult::failed(std::string(deliveryOutcome(failure)), std::string(reasonCode(failure)),
                                        std::string(errorDescription(failure)), elapsed(services)));
}

void DeliveryContext::fail(const DeliveryServices& services, CaptureFailure failure) const {
    run.complete(DeliveryResult::failed(std::string(deliveryOutcome(failure)), std::string(reasonCode(failure)),
                                        std::string(errorDescription(failure)), elapsed(services)));
}

void DeliveryContext::fail(const DeliveryServices& services, const ClipboardFailureDetails& details) const {
    run.complete(DeliveryResult::failed(details.outcome, details.code, details.message, elapsed(services)));
}

void DeliveryContext::inserted(const DeliveryServices& services, TextDeliveryMethod method, bool verified) const {
    run.complete(DeliveryResult::inserted(method, verified, elapsed(services)));
}

bool DeliveryContext::refusedEmptyText(std::string_view text) const {
    if (!text.empty()) return false;
    if (auto locked = services.lock()) {
        fail(*locked, ClipboardFailureDetails::from(ClipboardPreparationFailure::emptyText));
    }
    return true;
}

std::function<void(ClipboardUnverifiedReport)> DeliveryContext::pasteCompletion() const {
    return [services = services, run = run](ClipboardUnverifiedReport report) {
        auto locked = services.lock();
        if (!locked) return;
        run.complete(DeliveryResult::inserted(TextDeliveryMethod::clipboardPaste,
                                              report == ClipboardUnverifiedReport::insertedVerified,
                                              locked->capture.now() - run.startedAt));
    };
}

std::function<bool()> observedOnce(std::weak_ptr<DeliveryServices> services,
                                   std::shared_ptr<InsertionEvidence> evidence,
                                   std::function<bool(FocusCapture&)> seen) {
    return [services = std::move(services), evidence = std::move(evidence), seen = std::move(seen)] {
        if (evidence->observed) return true;
        auto locked = services.lock();
        if (!locked) return false;
        evidence->observed = seen(locked->capture);
        return evidence->observed;
    };
}

std::int64_t utf16Count(std::string_view text) {
    return static_cast<std::int64_t>(unicode::utf16Length(text).value_or(text.size()));
}

bool rangeIsUsable(const AXTextRange& range, std::string_view text) {
    std::int64_t end = 0;
    return range.location >= 0 && range.length >= 0 && !__builtin_add_overflow(range.location, utf16Count(text), &end);
}

std::optional<std::string> boundedValue(FocusCapture& capture, const AXElement& element,
                                        FocusCapture::Deadline deadline, AXMessagingTimeout timeout) {
    return TextInsertionVerification::boundedValue(capture.stringAttribute(element, axattr::value, deadline, timeout));
}

}  // namespace murmo
