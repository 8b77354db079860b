#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/Accessibility.h"

namespace murmo {

// Applications expose their accessibility tree late and unevenly (right
// after they come to the front, right after the key is released, while a web
// view builds its tree), so every reader of another application's tree
// retries on these fixed schedules. Each table is the list of pauses, in
// microseconds, taken before each attempt; 0 means the attempt runs at once.
struct AXManualAccessibilityRetryPolicy {
    static constexpr std::string_view attributeName = axattr::manualAccessibility;

    // The selection reads of the dashboard.
    static std::span<const std::uint32_t> delaysMicroseconds();
    // Capture after the key is pressed or released ("activation").
    static std::span<const std::uint32_t> activationRetryDelaysMicroseconds();
    // Capture when the final text arrives ("finalization"), and the passes of
    // a delivery into the current focus.
    static std::span<const std::uint32_t> finalizationRetryDelaysMicroseconds();
    // Revalidation of a captured target before and during delivery, and the
    // pauses between clipboard paste starts that ask to be retried.
    static std::span<const std::uint32_t> deliveryRevalidationDelaysMicroseconds();

    static constexpr double finalizationWallClockBudgetSeconds = 0.075;
    // Cap of every messaging time-out during a capture with a deadline.
    static constexpr float finalizationMaximumAXMessagingTimeoutSeconds = 0.025f;
    static constexpr double clipboardPreDispatchWallClockBudgetSeconds = 0.75;

    // Totals of the tables above.
    static std::uint32_t maximumDelayMicroseconds();
    static std::uint32_t maximumActivationDelayMicroseconds();
    static std::uint32_t maximumFinalizationDelayMicroseconds();
    static std::uint32_t maximumDeliveryRevalidationDelayMicroseconds();

    // Ask for the full tree only after the very first read failed the way a
    // lazily built tree fails, and only once.
    static bool shouldRequestManualAccessibility(int afterFailedAttempt, bool alreadyRequested, AXError focusError);
};

}  // namespace murmo
