#pragma once

#include <cstdint>
#include <string_view>

namespace murmo {

// Why no insertion target could be captured. The numeric values are stable:
// the fallback masks below are defined over them.
enum class CaptureFailure : std::uint8_t {
    permission = 0,
    noApplication = 1,
    noFocusedElement = 2,
    accessibilityTreeNotReady = 3,
    targetChanged = 4,
    secureField = 5,
    notEditable = 6,
    selectionUnavailable = 7,
};

// The precise snake_case cause reported to the engine.
std::string_view reasonCode(CaptureFailure failure);
// The fixed English sentence for the failure.
std::string_view errorDescription(CaptureFailure failure);
// The coarse delivery outcome the failure amounts to.
std::string_view deliveryOutcome(CaptureFailure failure);
// Whether the text may still be pasted into whatever has the focus in the
// pinned application: only for failures that do not prove the target unsafe.
bool permitsCurrentFocusFallback(CaptureFailure failure);
// Whether one more capture is worth trying when the final text arrives.
bool permitsFinalFocusRetry(CaptureFailure failure);

}  // namespace murmo
