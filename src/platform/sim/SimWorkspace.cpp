#include "platform/sim/SimWorkspace.h"

namespace murmo {

namespace {

std::optional<RunningApplication> asRunningApplication(const SimProcess& process) {
    if (!process.application) return std::nullopt;
    return RunningApplication{.processIdentifier = process.pid,
                              .bundleIdentifier = process.application->bundleIdentifier,
                              .localizedName = process.application->localizedName,
                              .bundleURL = process.application->bundleURL,
                              .activationPolicy = process.application->activationPolicy};
}

}  // namespace

std::optional<RunningApplication> SimWorkspace::frontmostApplication() {
    const auto& model = desktop_.model();
    if (!model.frontmostPID) return std::nullopt;
    return runningApplication(*model.frontmostPID);
}

std::optional<RunningApplication> SimWorkspace::runningApplication(std::int32_t pid) {
    const auto& processes = desktop_.model().processes;
    auto found = processes.find(pid);
    if (found == processes.end()) return std::nullopt;
    return asRunningApplication(found->second);
}

std::vector<RunningApplication> SimWorkspace::runningApplications() {
    std::vector<RunningApplication> result;
    for (const auto& [pid, process] : desktop_.model().processes) {
        if (auto application = asRunningApplication(process)) result.push_back(std::move(*application));
    }
    return result;
}

std::int32_t SimWorkspace::ownProcessIdentifier() { return desktop_.model().ownPID; }

std::vector<WindowListEntry> SimWorkspace::onScreenWindows() {
    std::vector<WindowListEntry> result;
    for (const auto& window : desktop_.model().windows) {
        result.push_back(
            WindowListEntry{.ownerPID = window.ownerPID, .layer = window.layer, .windowNumber = window.windowNumber});
    }
    return result;
}

bool SimWorkspace::open(const URL& url) {
    auto& workspace = desktop_.model().workspace;
    const auto text = url.text();
    workspace.openRequests.push_back(text);
    return !workspace.unopenable.contains(text);
}

// The model keeps one picture per icon; the preferred size picks nothing.
std::optional<PixelImage> SimWorkspace::runningApplicationIcon(std::int32_t pid, int /*preferredPixelSize*/) {
    const auto& processes = desktop_.model().processes;
    const auto found = processes.find(pid);
    if (found == processes.end() || !found->second.application) return std::nullopt;
    return found->second.application->icon;
}

std::optional<std::filesystem::path> SimWorkspace::urlForApplication(std::string_view bundleIdentifier) {
    const auto& installed = desktop_.model().workspace.installedApplications;
    const auto found = installed.find(bundleIdentifier);
    if (found == installed.end()) return std::nullopt;
    return found->second;
}

std::optional<PixelImage> SimWorkspace::iconForFile(const std::filesystem::path& path, int /*preferredPixelSize*/) {
    const auto& icons = desktop_.model().workspace.fileIcons;
    const auto found = icons.find(path);
    if (found == icons.end()) return std::nullopt;
    return found->second;
}

}  // namespace murmo
