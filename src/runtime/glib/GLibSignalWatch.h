#pragma once

#include <functional>
#include <initializer_list>
#include <vector>

#include "runtime/glib/GLibLoop.h"

namespace murmo {

// Calls back on a GLibLoop when the process receives one of the given signals
// (SIGHUP, SIGINT, SIGTERM, SIGUSR1, SIGUSR2 or SIGWINCH), through GLib's own
// signal sources: no signal is blocked and no thread waits for them. While the
// watch lives those signals no longer end the process; dropping it gives them
// back their default action.
class GLibSignalWatch {
public:
    GLibSignalWatch(GLibLoop& loop, std::initializer_list<int> signals, std::function<void(int signal)> onSignal);
    ~GLibSignalWatch();
    GLibSignalWatch(const GLibSignalWatch&) = delete;
    GLibSignalWatch& operator=(const GLibSignalWatch&) = delete;

private:
    struct Delivery;

    std::function<void(int)> onSignal_;
    std::vector<GSource*> sources_;
};

}  // namespace murmo
