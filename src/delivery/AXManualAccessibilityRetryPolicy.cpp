#include "delivery/AXManualAccessibilityRetryPolicy.h"

#include <array>
#include <cstdlib>
#include <limits>

namespace murmo {

namespace {

constexpr std::array<std::uint32_t, 3> kDelays{0, 15000, 35000};
constexpr std::array<std::uint32_t, 5> kActivationDelays{25000, 50000, 100000, 200000, 400000};
constexpr std::array<std::uint32_t, 3> kFinalizationDelays{0, 25000, 50000};
constexpr std::array<std::uint32_t, 5> kDeliveryRevalidationDelays{0, 25000, 50000, 100000, 200000};

std::uint32_t total(std::span<const std::uint32_t> table) {
    std::uint32_t sum = 0;
    for (auto delay : table) {
        // The tables are constants; an overflow would be a programming fault.
        if (delay > std::numeric_limits<std::uint32_t>::max() - sum) std::abort();
        sum += delay;
    }
    return sum;
}

}  // namespace

std::span<const std::uint32_t> AXManualAccessibilityRetryPolicy::delaysMicroseconds() { return kDelays; }
std::span<const std::uint32_t> AXManualAccessibilityRetryPolicy::activationRetryDelaysMicroseconds() {
    return kActivationDelays;
}
std::span<const std::uint32_t> AXManualAccessibilityRetryPolicy::finalizationRetryDelaysMicroseconds() {
    return kFinalizationDelays;
}
std::span<const std::uint32_t> AXManualAccessibilityRetryPolicy::deliveryRevalidationDelaysMicroseconds() {
    return kDeliveryRevalidationDelays;
}

std::uint32_t AXManualAccessibilityRetryPolicy::maximumDelayMicroseconds() { return total(kDelays); }
std::uint32_t AXManualAccessibilityRetryPolicy::maximumActivationDelayMicroseconds() {
    return total(kActivationDelays);
}
std::uint32_t AXManualAccessibilityRetryPolicy::maximumFinalizationDelayMicroseconds() {
    return total(kFinalizationDelays);
}
std::uint32_t AXManualAccessibilityRetryPolicy::maximumDeliveryRevalidationDelayMicroseconds() {
    return total(kDeliveryRevalidationDelays);
}

bool AXManualAccessibilityRetryPolicy::shouldRequestManualAccessibility(int afterFailedAttempt, bool alreadyRequested,
                                                                         AXError focusError) {
    return afterFailedAttempt == 0 && !alreadyRequested &&
           (focusError == axerror::noValue || focusError == axerror::attributeUnsupported);
}

}  // namespace murmo
