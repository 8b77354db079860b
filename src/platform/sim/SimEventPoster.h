#pragma once

#include "platform/EventPoster.h"
#include "platform/sim/SimDesktop.h"

namespace murmo {

// Event posting on the simulated desktop: refusals come from the model's
// switch and scripted faults; posted events reach SimDesktop.
class SimEventPoster final : public EventPoster {
public:
    explicit SimEventPoster(SimDesktop& desktop) : desktop_(desktop) {}

    bool preflightPostEventAccess() override;
    std::unique_ptr<KeyboardEventSource> makeEventSource() override;
    void post(const KeyboardEvent& event) override;
    bool requestPostEventAccess() override;

private:
    SimDesktop& desktop_;
};

}  // namespace murmo
