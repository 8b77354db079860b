#include "coordinator/DeliveryReport.h"

namespace murmo {

DeliveryResultPayload deliveryReport(const DeliveryResult& result, const std::string& targetID) {
    if (const auto* failure = result.failure()) {
        return DeliveryResultPayload{.targetID = targetID,
                                     .outcome = failure->outcome,
                                     .method = "none",
                                     .reasonCode = failure->reasonCode,
                                     .verified = false,
                                     .elapsedMilliseconds = toMilliseconds(failure->elapsed)};
    }
    const auto& insertion = *result.insertion();
    return DeliveryResultPayload{
        .targetID = targetID,
        .outcome = "inserted",
        .method = std::string(rawValue(insertion.method)),
        .reasonCode = insertion.verified ? std::string() : std::string(kUnobservableDeliveryReason),
        .verified = insertion.verified,
        .elapsedMilliseconds = toMilliseconds(insertion.elapsed)};
}

}  // namespace murmo
