#pragma once

// The operations whose final text was already delivered, so a late duplicate
// (an engine event and the release reply both carrying the text) is never
// written twice. Bounded: the oldest is forgotten first.

#include <cstddef>
#include <deque>
#include <set>
#include <string>

namespace murmo {

class DeliveredOperationMemory {
public:
    static constexpr std::size_t kCapacity = 64;

    void remember(const std::string& operationID);
    bool contains(const std::string& operationID) const { return delivered_.contains(operationID); }
    std::size_t size() const { return order_.size(); }

private:
    std::set<std::string, std::less<>> delivered_;
    std::deque<std::string> order_;
};

}  // namespace murmo
