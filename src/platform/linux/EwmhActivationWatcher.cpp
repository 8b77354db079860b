#include "platform/linux/EwmhActivationWatcher.h"

#include <X11/Xlib.h>

namespace murmo {

Result<std::unique_ptr<EwmhActivationWatcher>> EwmhActivationWatcher::open(MainLoop& loop, Callback onActivation,
                                                                           const std::string& displayName) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return std::unexpected(connection.error());
    return std::unique_ptr<EwmhActivationWatcher>(
        new EwmhActivationWatcher(loop, std::move(*connection), std::move(onActivation)));
}

EwmhActivationWatcher::EwmhActivationWatcher(MainLoop& loop, std::unique_ptr<X11Connection> connection,
                                             Callback onActivation)
    : connection_(std::move(connection)), properties_(*connection_), onActivation_(std::move(onActivation)) {
    Display* display = connection_->display();
    XSelectInput(display, properties_.rootWindow(), PropertyChangeMask);
    // Every change from here on is heard; a pass compares with what is
    // active now, so a change queued before this read tells nothing twice.
    XSync(display, False);
    activePID_ = activeProcess();
    watch_ = loop.watchReadable(connection_->fileDescriptor(), [this] { drain(); });
}

void EwmhActivationWatcher::drain() {
    Display* display = connection_->display();
    while (!connection_->isBroken() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == properties_.atom("_NET_ACTIVE_WINDOW")) {
            activeWindowChanged();
        }
    }
    // A broken connection stays readable for ever; nothing more comes.
    if (connection_->isBroken()) watch_.cancel();
}

void EwmhActivationWatcher::activeWindowChanged() {
    const auto pid = activeProcess();
    if (pid == activePID_) return;
    activePID_ = pid;
    if (pid) onActivation_(*pid);
}

std::optional<std::int32_t> EwmhActivationWatcher::activeProcess() {
    const auto window = properties_.activeWindow();
    if (!window) return std::nullopt;
    const auto owned = properties_.nearestOwnedWindow(*window);
    if (!owned) return std::nullopt;
    return owned->pid;
}

}  // namespace murmo
