#include "delivery/CaptureFailure.h"

#include <array>

#include "delivery/FailureText.h"

namespace murmo {

namespace {

constexpr std::array<FailureText, 8> kTexts{{
    {"accessibility_permission_missing", "Accessibility permission is missing.", "permission_denied"},
    {"no_frontmost_application", "No frontmost application was found.", "application_closed"},
    {"no_focused_element", "No focused text field was found.", "no_editable_target"},
    {"accessibility_tree_not_ready", "The application's accessibility tree was not ready.", "no_editable_target"},
    {"frontmost_application_changed", "Focus moved to another application while preparing the target.",
     "target_changed"},
    {"secure_field", "Dorvex will not write into secure fields.", "secure_field"},
    {"selected_text_not_settable", "The focused element is not editable.", "no_editable_target"},
    {"selected_range_unavailable", "The selected text range cannot be verified.", "no_editable_target"},
}};

// Bit n stands for the failure with code n.
constexpr unsigned kCurrentFocusFallbackMask = 0x9C;
constexpr unsigned kFinalFocusRetryMask = 0x0C;

const FailureText& textOf(CaptureFailure failure) { return kTexts[static_cast<std::size_t>(failure)]; }

bool inMask(CaptureFailure failure, unsigned mask) { return (mask >> static_cast<unsigned>(failure)) & 1U; }

}  // namespace

std::string_view reasonCode(CaptureFailure failure) { return textOf(failure).reasonCode; }
std::string_view errorDescription(CaptureFailure failure) { return textOf(failure).errorDescription; }
std::string_view deliveryOutcome(CaptureFailure failure) { return textOf(failure).deliveryOutcome; }
bool permitsCurrentFocusFallback(CaptureFailure failure) { return inMask(failure, kCurrentFocusFallbackMask); }
bool permitsFinalFocusRetry(CaptureFailure failure) { return inMask(failure, kFinalFocusRetryMask); }

}  // namespace murmo
