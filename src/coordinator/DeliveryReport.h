#pragma once

// What the engine is told about a delivery: every failure as method "none"
// and unverified; an insertion that could not be observed as such, with the
// reason "delivery_dispatched_unobservable".

#include <string>

#include "delivery/DeliveryResult.h"
#include "engine/CoreWireTypes.h"

namespace murmo {

inline constexpr std::string_view kUnobservableDeliveryReason = "delivery_dispatched_unobservable";

DeliveryResultPayload deliveryReport(const DeliveryResult& result, const std::string& targetID);

}  // namespace murmo
