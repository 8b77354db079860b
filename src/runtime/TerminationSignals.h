#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

#include "runtime/MainLoop.h"

namespace murmo {

// Turns SIGINT, SIGTERM and SIGHUP into a call on the main loop, so quitting
// from a terminal or a session manager runs the orderly stop. Construct it on
// the main thread before any other thread starts: the signals are blocked
// there and every later thread inherits the mask, so only the watcher takes
// them. Children started with posix_spawn get an empty mask of their own.
class TerminationSignals {
public:
    TerminationSignals(MainLoop& loop, std::function<void(int signal)> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void watch();

    MainLoop& loop_;
    std::function<void(int)> onSignal_;
    sigset_t signals_{};
    std::atomic<bool> stopping_{false};
    std::thread watcher_;
};

}  // namespace murmo
