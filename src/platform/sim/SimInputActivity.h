#pragma once

#include "platform/InputActivity.h"
#include "platform/sim/SimDesktop.h"

namespace murmo {

// Input counters and secure input on the simulated desktop.
class SimInputActivity final : public InputActivity {
public:
    explicit SimInputActivity(SimDesktop& desktop) : desktop_(desktop) {}

    std::uint32_t eventCount(InputEventType type) override;
    bool isSecureEventInputEnabled() override;

private:
    SimDesktop& desktop_;
};

}  // namespace murmo
