#include "platform/linux/X11Workspace.h"

#include <unistd.h>

#include <algorithm>
#include <set>

#include "platform/linux/EwmhWindowIcon.h"
#include "platform/linux/EwmhWindowRole.h"
#include "platform/linux/ProcfsProgram.h"

#include <gio/gio.h>

namespace murmo {

namespace {

// Beyond this many cached processes the cache starts again: processes come
// and go, and a stale entry costs one lookup.
constexpr std::size_t kMaximumCachedEntries = 256;

ApplicationActivationPolicy policyOf(const std::vector<EwmhWindowRole>& roles) {
    if (roles.empty()) return ApplicationActivationPolicy::prohibited;
    const bool onTaskbar = std::ranges::any_of(roles, [](const auto& role) { return role.isOnTaskbar; });
    return onTaskbar ? ApplicationActivationPolicy::regular : ApplicationActivationPolicy::accessory;
}

}  // namespace

Result<std::unique_ptr<X11Workspace>> X11Workspace::open(MainLoop& loop, const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return std::unexpected(connection.error());
    std::unique_ptr<X11Workspace> workspace(new X11Workspace(std::move(*connection)));
    auto* target = workspace.get();
    auto watcher = EwmhActivationWatcher::open(
        loop, [target](std::int32_t pid) { target->activated(pid); }, displayName);
    if (!watcher) return std::unexpected(watcher.error());
    workspace->activationWatcher_ = std::move(*watcher);
    return workspace;
}

X11Workspace::X11Workspace(std::unique_ptr<X11Connection> connection)
    : connection_(std::move(connection)), properties_(*connection_) {}

// The watcher goes first: it calls into this workspace.
X11Workspace::~X11Workspace() { activationWatcher_.reset(); }

std::optional<RunningApplication> X11Workspace::frontmostApplication() {
    for (const auto window : {properties_.activeWindow(), properties_.inputFocus()}) {
        if (!window) continue;
        if (const auto owned = properties_.nearestOwnedWindow(*window)) return runningApplication(owned->pid);
    }
    return std::nullopt;
}

std::optional<RunningApplication> X11Workspace::runningApplication(std::int32_t pid) {
    const auto program = ProcfsProgram::read(pid);
    if (!program) return std::nullopt;
    const auto windows = windowsOf(pid);
    std::vector<EwmhWindowRole> roles;
    std::optional<X11WindowClass> windowClass;
    for (const auto window : windows) {
        roles.push_back(EwmhWindowRole::of(properties_, window));
        if (!windowClass) windowClass = properties_.windowClass(window);
    }
    const ProgramTraits traits{
        .windowClass = windowClass, .executable = program->executable, .commandName = program->commandName};
    const auto entry = desktopEntryOf(pid, traits);

    RunningApplication application{.processIdentifier = pid, .activationPolicy = policyOf(roles)};
    if (entry) {
        application.bundleIdentifier = entry->identifier;
        application.bundleURL = entry->file;
    }
    if (entry && !entry->name.empty()) {
        application.localizedName = entry->name;
    } else if (windowClass && !windowClass->className.empty()) {
        application.localizedName = windowClass->className;
    } else if (!program->commandName.empty()) {
        application.localizedName = program->commandName;
    }
    return application;
}

std::vector<RunningApplication> X11Workspace::runningApplications() {
    std::vector<RunningApplication> applications;
    std::set<std::int32_t> seen;
    for (const auto window : properties_.clientList()) {
        const auto pid = properties_.processID(window);
        if (!pid || !seen.insert(*pid).second) continue;
        if (auto application = runningApplication(*pid)) applications.push_back(std::move(*application));
    }
    return applications;
}

std::int32_t X11Workspace::ownProcessIdentifier() { return static_cast<std::int32_t>(::getpid()); }

std::vector<WindowListEntry> X11Workspace::onScreenWindows() {
    auto stacking = properties_.clientListStacking();
    std::vector<WindowListEntry> windows;
    for (auto window = stacking.rbegin(); window != stacking.rend(); ++window) {
        if (!properties_.isViewable(*window)) continue;
        const auto role = EwmhWindowRole::of(properties_, *window);
        if (role.isDesktop) continue;
        windows.push_back(WindowListEntry{.ownerPID = properties_.processID(*window).value_or(0),
                                          .layer = role.layer,
                                          .windowNumber = static_cast<std::uint32_t>(*window)});
    }
    return windows;
}

ObserverHandle X11Workspace::observeActivations(std::function<void(const RunningApplication&)> onActivation) {
    return activationObservers_.add(std::move(onActivation));
}

void X11Workspace::activated(std::int32_t pid) {
    if (activationObservers_.size() == 0) return;
    if (const auto application = runningApplication(pid)) activationObservers_.notify(*application);
}

bool X11Workspace::open(const URL& url) {
    const auto text = url.text();
    if (text.empty()) return false;
    GError* error = nullptr;
    const bool launched = g_app_info_launch_default_for_uri(text.c_str(), nullptr, &error) != FALSE;
    if (error) g_error_free(error);
    return launched;
}

std::optional<PixelImage> X11Workspace::runningApplicationIcon(std::int32_t pid, int preferredPixelSize) {
    const auto program = ProcfsProgram::read(pid);
    if (!program) return std::nullopt;
    const auto windows = windowsOf(pid);
    for (const auto window : windows) {
        if (const auto cardinals = properties_.icon(window)) {
            if (auto image = EwmhWindowIcon::closestImage(*cardinals, preferredPixelSize)) return image;
        }
    }
    const ProgramTraits traits{.windowClass = windows.empty() ? std::nullopt : properties_.windowClass(windows.front()),
                               .executable = program->executable,
                               .commandName = program->commandName};
    const auto entry = desktopEntryOf(pid, traits);
    if (!entry || !entry->icon) return std::nullopt;
    return iconTheme_.load(*entry->icon, preferredPixelSize);
}

std::optional<std::filesystem::path> X11Workspace::urlForApplication(std::string_view bundleIdentifier) {
    const auto entry = entries_.forIdentifier(bundleIdentifier);
    if (!entry) return std::nullopt;
    return entry->file;
}

std::optional<PixelImage> X11Workspace::iconForFile(const std::filesystem::path& path, int preferredPixelSize) {
    if (path.extension() != ".desktop") return std::nullopt;
    const auto entry = entries_.forFile(path);
    if (!entry || !entry->icon) return std::nullopt;
    return iconTheme_.load(*entry->icon, preferredPixelSize);
}

std::vector<X11ID> X11Workspace::windowsOf(std::int32_t pid) {
    std::vector<X11ID> windows;
    for (const auto window : properties_.clientList()) {
        if (properties_.processID(window) == pid) windows.push_back(window);
    }
    return windows;
}

std::optional<DesktopEntry> X11Workspace::desktopEntryOf(std::int32_t pid, const ProgramTraits& program) {
    const auto process = processes_.processRecord(pid);
    if (!process) return entries_.forProgram(program);
    if (const auto cached = entryCache_.find(pid); cached != entryCache_.end() && cached->second.process == *process &&
                                                   cached->second.windowClass == program.windowClass) {
        return cached->second.entry;
    }
    if (entryCache_.size() >= kMaximumCachedEntries) entryCache_.clear();
    auto entry = entries_.forProgram(program);
    entryCache_.insert_or_assign(pid,
                                 CachedEntry{.process = *process, .windowClass = program.windowClass, .entry = entry});
    return entry;
}

}  // namespace murmo
