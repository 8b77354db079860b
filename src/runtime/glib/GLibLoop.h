#pragma once

#include <atomic>

#include "runtime/LoopCore.h"
#include "runtime/SystemClock.h"

using GMainContext = struct _GMainContext;
using GSource = struct _GSource;

namespace murmo {

// The desktop program's main loop: GLib's default main context, where the
// toolkit, D-Bus and accessibility libraries dispatch too. One source of its
// own on that context runs the posts, the timers (its ready time is the next
// deadline) and the readable watches (their descriptors are its own). The
// constructing thread runs the context; one GLibLoop at a time.
class GLibLoop final : public LoopCore {
public:
    GLibLoop();
    ~GLibLoop() override;

    const Clock& clock() const override { return SystemClock::shared(); }
    GMainContext* context() const { return context_; }

    // Iterates the context until quit().
    void run();
    // Any thread. Ends the run under way, or the next one when called before
    // it starts.
    void quit();

private:
    struct Source;

    void wake() override;
    void registerWatches();
    void scheduleNextTimer();
    bool isReadable(const Watch& watch) const;
    bool anyWatchReadable() const;
    void dispatch();

    GMainContext* context_;
    GSource* source_;
    std::atomic<bool> quitRequested_{false};
};

}  // namespace murmo
