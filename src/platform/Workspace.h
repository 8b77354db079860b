#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PixelImage.h"
#include "runtime/ObserverHandle.h"
#include "runtime/URL.h"

namespace murmo {

// How an application takes part in the desktop: a regular one has windows
// the user switches to; an accessory one (a menu-bar item, a panel) may show
// windows without being switched to; a prohibited one (a background agent)
// never comes to the front.
enum class ApplicationActivationPolicy { regular, accessory, prohibited };

// One application known to the window server.
struct RunningApplication {
    std::int32_t processIdentifier = 0;
    std::optional<std::string> bundleIdentifier{};
    std::optional<std::string> localizedName{};
    std::optional<std::filesystem::path> bundleURL{};
    ApplicationActivationPolicy activationPolicy = ApplicationActivationPolicy::regular;

    bool operator==(const RunningApplication&) const = default;
};

// One on-screen window, as the window list reports it.
struct WindowListEntry {
    std::int32_t ownerPID = 0;
    std::int32_t layer = 0;
    // Absent when the window server gives no number.
    std::optional<std::uint32_t> windowNumber{};

    bool operator==(const WindowListEntry&) const = default;
};

// The desktop's applications and windows. Main thread only; sends no message
// to other processes, so nothing here blocks.
class Workspace {
public:
    virtual ~Workspace() = default;

    // The application that receives keyboard input now, if any.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // The running application with this process identifier, if the process
    // is one.
    virtual std::optional<RunningApplication> runningApplication(std::int32_t pid) = 0;
    virtual std::vector<RunningApplication> runningApplications() = 0;
    // This process.
    virtual std::int32_t ownProcessIdentifier() = 0;
    // On-screen windows without desktop elements, front to back.
    virtual std::vector<WindowListEntry> onScreenWindows() = 0;
    // Called on the main thread with each application that becomes the
    // active one (this one included); dropping the handle stops the notices.
    virtual ObserverHandle observeActivations(std::function<void(const RunningApplication&)> onActivation) = 0;

    // Opens an address with the application that handles it (a settings
    // pane, a web page); false when nothing opened it.
    virtual bool open(const URL& url) = 0;

    // Icons and where applications live. An icon may come in several sizes
    // (an icon theme's, a bundle's); `preferredPixelSize` asks for the one
    // closest to that size, which the caller still scales itself.

    // The icon the running application with this process identifier shows;
    // absent when the process is no application or shows none.
    virtual std::optional<PixelImage> runningApplicationIcon(std::int32_t pid, int preferredPixelSize) = 0;
    // Where the application with this bundle identifier is installed (its
    // bundle folder or its desktop entry file), whether or not it runs;
    // absent when no such application is installed.
    virtual std::optional<std::filesystem::path> urlForApplication(std::string_view bundleIdentifier) = 0;
    // The icon the file manager shows for the file (an application's own
    // icon for an installed application); absent when there is none.
    virtual std::optional<PixelImage> iconForFile(const std::filesystem::path& path, int preferredPixelSize) = 0;
};

}  // namespace murmo
