#include "delivery/AXManualAccessibilityRetryPolicy.h"

#include <array>
#include <numeric>

namespace murmo {

namespace {

using std::chrono::milliseconds;

constexpr std::array<Duration, 3> kDelays{milliseconds(0), milliseconds(15), milliseconds(35)};
constexpr std::array<Duration, 5> kActivationDelays{milliseconds(25), milliseconds(50), milliseconds(100),
                                                    milliseconds(200), milliseconds(400)};
constexpr std::array<Duration, 3> kFinalizationDelays{milliseconds(0), milliseconds(25), milliseconds(50)};
constexpr std::array<Duration, 5> kDeliveryRevalidationDelays{milliseconds(0), milliseconds(25), milliseconds(50),
                                                              milliseconds(100), milliseconds(200)};

Duration total(std::span<const Duration> table) {
    return std::accumulate(table.begin(), table.end(), Duration::zero());
}

}  // namespace

std::span<const Duration> AXManualAccessibilityRetryPolicy::delays() { return kDelays; }
std::span<const Duration> AXManualAccessibilityRetryPolicy::activationRetryDelays() { return kActivationDelays; }
std::span<const Duration> AXManualAccessibilityRetryPolicy::finalizationRetryDelays() { return kFinalizationDelays; }
std::span<const Duration> AXManualAccessibilityRetryPolicy::deliveryRevalidationDelays() {
    return kDeliveryRevalidationDelays;
}

Duration AXManualAccessibilityRetryPolicy::maximumDelay() { return total(kDelays); }
Duration AXManualAccessibilityRetryPolicy::maximumActivationDelay() { return total(kActivationDelays); }
Duration AXManualAccessibilityRetryPolicy::maximumFinalizationDelay() { return total(kFinalizationDelays); }
Duration AXManualAccessibilityRetryPolicy::maximumDeliveryRevalidationDelay() {
    return total(kDeliveryRevalidationDelays);
}

bool AXManualAccessibilityRetryPolicy::shouldRequestManualAccessibility(int afterFailedAttempt, bool alreadyRequested,
                                                                        AXError focusError) {
    return afterFailedAttempt == 0 && !alreadyRequested &&
           (focusError == axerror::noValue || focusError == axerror::attributeUnsupported);
}

}  // namespace murmo
