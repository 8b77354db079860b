#pragma once

#include <map>
#include <memory>

#include "platform/UserInputWatch.h"

namespace murmo {

// Global input monitors on the simulated desktop. SimDesktop hands every
// input event to dispatch(); handlers run synchronously, on the caller's
// thread.
class SimUserInputWatch final : public UserInputWatch, public std::enable_shared_from_this<SimUserInputWatch> {
public:
    std::unique_ptr<UserInputMonitor> addGlobalMonitor(Handler handler) override;
    void dispatch(const UserInputEvent& event);
    std::size_t monitorCount() const { return handlers_.size(); }

private:
    friend class SimUserInputMonitor;
    void remove(std::uint64_t id) { handlers_.erase(id); }

    std::map<std::uint64_t, Handler> handlers_;
    std::uint64_t nextID_ = 1;
};

}  // namespace murmo
