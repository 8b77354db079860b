#pragma once

#include <chrono>
#include <span>
#include <string_view>

#include "platform/Accessibility.h"
#include "runtime/Clock.h"

namespace murmo {

// Applications expose their accessibility tree late and unevenly (right
// after they come to the front, right after the key is released, while a web
// view builds its tree), so every reader of another application's tree
// retries on these fixed schedules. Each table is the list of pauses taken
// before each attempt; zero means the attempt runs at once.
struct AXManualAccessibilityRetryPolicy {
    static constexpr std::string_view attributeName = axattr::manualAccessibility;

    // The selection reads of the dashboard.
    static std::span<const Duration> delays();
    // Capture after the key is pressed or released ("activation").
    static std::span<const Duration> activationRetryDelays();
    // Capture when the final text arrives ("finalization"), and the passes of
    // a delivery into the current focus.
    static std::span<const Duration> finalizationRetryDelays();
    // Revalidation of a captured target before and during delivery, and the
    // pauses between clipboard paste starts that ask to be retried.
    static std::span<const Duration> deliveryRevalidationDelays();

    // Every call made while the main thread waits on another application
    // (the key-press reservation, the dashboard's selection read): a host
    // that does not answer in this time counts as not answering.
    static constexpr AXMessagingTimeout mainThreadMessagingTimeoutSeconds = 0.2f;
    static constexpr Duration finalizationWallClockBudget = std::chrono::milliseconds(75);
    // Cap of every messaging time-out during a capture with a deadline.
    static constexpr AXMessagingTimeout finalizationMaximumAXMessagingTimeoutSeconds = 0.025f;
    static constexpr Duration clipboardPreDispatchWallClockBudget = std::chrono::milliseconds(750);

    // Totals of the tables above.
    static Duration maximumDelay();
    static Duration maximumActivationDelay();
    static Duration maximumFinalizationDelay();
    static Duration maximumDeliveryRevalidationDelay();

    // Ask for the full tree only after the very first read failed the way a
    // lazily built tree fails, and only once.
    static bool shouldRequestManualAccessibility(int afterFailedAttempt, bool alreadyRequested, AXError focusError);
};

}  // namespace murmo
