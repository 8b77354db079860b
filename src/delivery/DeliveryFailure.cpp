#include "delivery/DeliveryFailure.h"

#include <array>

#include "delivery/FailureText.h"

namespace murmo {

namespace {

constexpr std::array<FailureText, 7> kTexts{{
    {"secure_field", "Secure fields are never modified.", "secure_field"},
    {"selected_range_invalid", "The target exposed an invalid insertion range.", "target_changed"},
    {"focused_element_changed", "The original text field is no longer focused.", "target_changed"},
    {"accessibility_write_unconfirmed", "The target did not confirm the Accessibility write.", "verification_failed"},
    {"secure_input_enabled", "Secure keyboard input is active.", "secure_field"},
    {"pinned_focus_changed", "The original application, input epoch, or focused window changed.", "target_changed"},
    {"pinned_window_temporarily_unavailable",
     "The original focused window could not be revalidated before the deadline.", "no_editable_target"},
}};

const FailureText& textOf(DeliveryFailure failure) { return kTexts[static_cast<std::size_t>(failure)]; }

}  // namespace

std::string_view reasonCode(DeliveryFailure failure) { return textOf(failure).reasonCode; }
std::string_view errorDescription(DeliveryFailure failure) { return textOf(failure).errorDescription; }
std::string_view deliveryOutcome(DeliveryFailure failure) { return textOf(failure).deliveryOutcome; }

}  // namespace murmo
