#pragma once

#include <map>
#include <memory>

#include "platform/UserInputWatch.h"

namespace murmo {

class SimDesktop;

// Global input monitors on the simulated desktop. SimDesktop hands every
// input event to dispatch(); handlers run synchronously, on the caller's
// thread. Without the model's `userInputWatchAvailable` it is a platform
// that gives no watch: addGlobalMonitor answers null.
class SimUserInputWatch final : public UserInputWatch, public std::enable_shared_from_this<SimUserInputWatch> {
public:
    explicit SimUserInputWatch(const SimDesktop& desktop) : desktop_(desktop) {}
    std::unique_ptr<UserInputMonitor> addGlobalMonitor(Handler handler) override;
    void dispatch(const UserInputEvent& event);
    std::size_t monitorCount() const { return handlers_.size(); }

private:
    friend class SimUserInputMonitor;
    void remove(std::uint64_t id) { handlers_.erase(id); }

    const SimDesktop& desktop_;
    std::map<std::uint64_t, Handler> handlers_;
    std::uint64_t nextID_ = 1;
};

}  // namespace murmo
