#pragma once

// Hears the window manager change _NET_ACTIVE_WINDOW on the root window
// (a PropertyNotify) on a connection of its own, which the main loop watches,
// and tells which process owns the newly active window. A change to a window
// of the process already active, or to no window, tells nothing; after no
// window, the next process to come to the front is told even when it is the
// one that was active before. Main thread only; the callback runs on the
// loop while the watcher lives,
// and must not destroy the watcher.
//
// Xlib may read events into its queue while answering a request, where the
// descriptor no longer shows them: each pass drains the queue, and the
// requests a pass makes are answered before it looks at the queue again.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/EwmhWindowProperties.h"
#include "platform/linux/X11Connection.h"
#include "runtime/Error.h"
#include "runtime/MainLoop.h"

namespace murmo {

class EwmhActivationWatcher {
public:
    using Callback = std::function<void(std::int32_t pid)>;

    // `displayName` empty: $DISPLAY. Fails when the server cannot be reached.
    // Listening when it returns; what is active then is not told.
    static Result<std::unique_ptr<EwmhActivationWatcher>> open(MainLoop& loop, Callback onActivation,
                                                               const std::string& displayName = {});
    EwmhActivationWatcher(const EwmhActivationWatcher&) = delete;
    EwmhActivationWatcher& operator=(const EwmhActivationWatcher&) = delete;

private:
    EwmhActivationWatcher(MainLoop& loop, std::unique_ptr<X11Connection> connection, Callback onActivation);

    void drain();
    void activeWindowChanged();
    std::optional<std::int32_t> activeProcess();

    std::unique_ptr<X11Connection> connection_;
    EwmhWindowProperties properties_;
    Callback onActivation_;
    std::optional<std::int32_t> activePID_;
    ReadableWatch watch_;
};

}  // namespace murmo
