#include "delivery/DeliveryResult.h"

#include <array>
#include <utility>

namespace murmo {

namespace {

constexpr std::array<std::pair<TextDeliveryMethod, std::string_view>, 4> kRawValues{{
    {TextDeliveryMethod::keyboard, "unicode_event"},
    {TextDeliveryMethod::internalEditor, "internal_editor"},
    {TextDeliveryMethod::accessibility, "accessibility"},
    {TextDeliveryMethod::clipboardPaste, "clipboard_paste"},
}};

}  // namespace

std::string_view rawValue(TextDeliveryMethod method) {
    for (const auto& [candidate, raw] : kRawValues) {
        if (candidate == method) return raw;
    }
    return {};
}

std::optional<TextDeliveryMethod> textDeliveryMethodFromRawValue(std::string_view raw) {
    for (const auto& [method, candidate] : kRawValues) {
        if (candidate == raw) return method;
    }
    return std::nullopt;
}

DeliveryResult DeliveryResult::inserted(TextDeliveryMethod method, bool verified, Duration elapsed) {
    return DeliveryResult(DeliveryInserted{method, verified, elapsed});
}

DeliveryResult DeliveryResult::failed(std::string outcome, std::string reasonCode, std::string message,
                                      Duration elapsed) {
    return DeliveryResult(DeliveryFailed{std::move(outcome), std::move(reasonCode), std::move(message), elapsed});
}

Duration DeliveryResult::elapsed() const {
    return std::visit([](const auto& value) { return value.elapsed; }, value_);
}

DeliveryUserFacingStatus DeliveryResult::userFacingStatus() const {
    return isInserted() ? DeliveryUserFacingStatus::success : DeliveryUserFacingStatus::failure;
}

AXInsertionObservation classifyInsertion(const AXTextRange& original, const AXTextRange& expected,
                                         const std::optional<AXTextRange>& observed) {
    if (!observed) return AXInsertionObservation::ambiguous;
    if (*observed == expected) return AXInsertionObservation::verified;
    if (*observed == original) return AXInsertionObservation::unchanged;
    return AXInsertionObservation::ambiguous;
}

}  // namespace murmo
