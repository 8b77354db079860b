#pragma once

#include "platform/Workspace.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ObserverList.h"

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
    ObserverHandle observeActivations(std::function<void(const RunningApplication&)> onActivation) override {
        return activationObservers_.add(std::move(onActivation));
    }
    bool open(const URL& url) override;
    std::optional<PixelImage> runningApplicationIcon(std::int32_t pid, int preferredPixelSize) override;
    std::optional<std::filesystem::path> urlForApplication(std::string_view bundleIdentifier) override;
    std::optional<PixelImage> iconForFile(const std::filesystem::path& path, int preferredPixelSize) override;

    // For SimDesktop: tells every observer, at once.
    void tellActivation(const RunningApplication& application) { activationObservers_.notify(application); }

private:
    SimDesktop& desktop_;
    ObserverList<const RunningApplication&> activationObservers_;
};

}  // namespace murmo
