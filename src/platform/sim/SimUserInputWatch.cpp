#include "platform/sim/SimUserInputWatch.h"

#include <vector>

#include "platform/sim/SimDesktop.h"

namespace murmo {

class SimUserInputMonitor final : public UserInputMonitor {
public:
    SimUserInputMonitor(std::weak_ptr<SimUserInputWatch> watch, std::uint64_t id) : watch_(std::move(watch)), id_(id) {}
    ~SimUserInputMonitor() override {
        if (auto watch = watch_.lock()) watch->remove(id_);
    }

private:
    std::weak_ptr<SimUserInputWatch> watch_;
    std::uint64_t id_;
};

std::unique_ptr<UserInputMonitor> SimUserInputWatch::addGlobalMonitor(Handler handler) {
    if (!desktop_.model().userInputWatchAvailable) return nullptr;
    const auto id = nextID_++;
    handlers_.emplace(id, std::move(handler));
    return std::make_unique<SimUserInputMonitor>(weak_from_this(), id);
}

void SimUserInputWatch::dispatch(const UserInputEvent& event) {
    // A handler may remove its own monitor (or another one) while it runs.
    std::vector<std::uint64_t> ids;
    for (const auto& entry : handlers_) ids.push_back(entry.first);
    for (const auto id : ids) {
        auto found = handlers_.find(id);
        if (found == handlers_.end()) continue;
        auto handler = found->second;
        handler(event);
    }
}

}  // namespace murmo
