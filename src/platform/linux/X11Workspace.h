#pragma once

// The workspace of an X11 session with a window manager that follows the
// Extended Window Manager Hints. Main thread only.
//
// - Frontmost: the owner (_NET_WM_PID) of _NET_ACTIVE_WINDOW; when that
//   property is unset or None (no manager sets it) or its window names no
//   owner, the window with the input focus, climbed up the window tree to the
//   nearest window that names its owner (a toolkit focuses an inner window).
//   A window whose WM_CLIENT_MACHINE names another host names no owner.
// - An application is a live process that runs a program (a kernel thread or
//   a zombie is none), whether or not it shows windows. Its policy: regular
//   when one of its managed windows (_NET_CLIENT_LIST) is on the taskbar (a
//   normal window or dialog not skipping it), accessory when it shows only
//   others (skip-taskbar, utility, dock, ...), prohibited when it shows
//   none. So a windowless helper process is still an application: the focus
//   checks need the running state and the desktop entry of an element's
//   owner, which may show no window of its own.
// - Its identifier is the desktop id of its entry without ".desktop", its
//   bundle URL that entry's file, both absent when no installed entry names
//   the program (see X11WorkspaceDesktopEntries for the matching). Its name:
//   the entry's, else the window class name, else /proc's command name.
// - runningApplications(): the owners of the managed windows, each once, in
//   the manager's order; windowless processes are not listed.
// - onScreenWindows(): _NET_CLIENT_LIST_STACKING from the top, only the
//   viewable ones (a minimized window is unmapped), desktop windows left out;
//   layers as EwmhWindowRole documents; the number is the X window id; a
//   window that names no owner has owner 0.
// - Activation notices: changes of _NET_ACTIVE_WINDOW to another process,
//   heard on a connection of their own (EwmhActivationWatcher).
// - open(): GIO's default handler for the address.
// - Icons: the _NET_WM_ICON image closest to the asked size, else the
//   desktop entry's icon (X11WorkspaceIconTheme). iconForFile() reads a
//   desktop entry file's icon; any other file has none here.
//
// X11 asks for no permission; nothing here prompts.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/Workspace.h"
#include "platform/linux/EwmhActivationWatcher.h"
#include "platform/linux/EwmhWindowProperties.h"
#include "platform/linux/ProcfsProcessInfo.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11WorkspaceDesktopEntries.h"
#include "platform/linux/X11WorkspaceIconTheme.h"
#include "runtime/Error.h"
#include "runtime/MainLoop.h"
#include "runtime/ObserverList.h"

namespace murmo {

class X11Workspace final : public Workspace {
public:
    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached.
    static Result<std::unique_ptr<X11Workspace>> open(MainLoop& loop, const std::string& displayName = {});
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<RunningApplication> runningApplication(std::int32_t pid) override;
    std::vector<RunningApplication> runningApplications() override;
    std::int32_t ownProcessIdentifier() override;
    std::vector<WindowListEntry> onScreenWindows() override;
    ObserverHandle observeActivations(std::function<void(const RunningApplication&)> onActivation) override;
    bool open(const URL& url) override;
    std::optional<PixelImage> runningApplicationIcon(std::int32_t pid, int preferredPixelSize) override;
    std::optional<std::filesystem::path> urlForApplication(std::string_view bundleIdentifier) override;
    std::optional<PixelImage> iconForFile(const std::filesystem::path& path, int preferredPixelSize) override;

private:
    explicit X11Workspace(std::unique_ptr<X11Connection> connection);

    // The managed windows whose owner is `pid`, in the manager's order.
    std::vector<X11ID> windowsOf(std::int32_t pid);
    std::optional<DesktopEntry> desktopEntryOf(std::int32_t pid, const ProgramTraits& program);
    void activated(std::int32_t pid);

    std::unique_ptr<X11Connection> connection_;
    EwmhWindowProperties properties_;
    ProcfsProcessInfo processes_;
    X11WorkspaceDesktopEntries entries_;
    X11WorkspaceIconTheme iconTheme_;
    // A process's entry, kept while the process with that start lives and
    // shows the same window class: looking it up reads every installed entry.
    struct CachedEntry {
        ProcessRecord process;
        std::optional<X11WindowClass> windowClass;
        std::optional<DesktopEntry> entry;
    };
    std::map<std::int32_t, CachedEntry> entryCache_;
    ObserverList<const RunningApplication&> activationObservers_;
    std::unique_ptr<EwmhActivationWatcher> activationWatcher_;
};

}  // namespace murmo
