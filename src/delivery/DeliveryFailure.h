#pragma once

#include <cstdint>
#include <string_view>

namespace murmo {

// Why a delivery into an admitted target failed. A failure that is also a
// capture failure (permission missing, tree not ready) is reported with its
// CaptureFailure row instead, so each report is written once.
enum class DeliveryFailure : std::uint8_t {
    secureField,
    selectedRangeInvalid,
    focusedElementChanged,
    accessibilityWriteUnconfirmed,
    secureInputEnabled,
    pinnedFocusChanged,
    pinnedWindowTemporarilyUnavailable,
};

// The precise snake_case cause reported to the engine.
std::string_view reasonCode(DeliveryFailure failure);
// The fixed English sentence for the failure.
std::string_view errorDescription(DeliveryFailure failure);
// The coarse delivery outcome the failure amounts to.
std::string_view deliveryOutcome(DeliveryFailure failure);

}  // namespace murmo
