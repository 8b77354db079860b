#include "coordinator/DeliveredOperationMemory.h"

namespace murmo {

void DeliveredOperationMemory::remember(const std::string& operationID) {
    if (!delivered_.insert(operationID).second) return;
    order_.push_back(operationID);
    if (order_.size() <= kCapacity) return;
    delivered_.erase(order_.front());
    order_.pop_front();
}

}  // namespace murmo
