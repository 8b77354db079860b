#pragma once

#include "platform/Workspace.h"
#include "platform/sim/SimDesktop.h"

namespace murmo {

// The workspace port on the simulated desktop.
class SimWorkspace final : public Workspace {
public:
    explicit SimWorkspace(SimDesktop& desktop) : desktop_(desktop) {}

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<RunningApplication> runningApplication(std::int32_t pid) override;
    std::vector<RunningApplication> runningApplications() override;
    std::int32_t ownProcessIdentifier() override;
    std::vector<WindowListEntry> onScreenWindows() override;
    bool open(const URL& url) override;

private:
    SimDesktop& desktop_;
};

}  // namespace murmo
