#include "runtime/glib/GLibLoop.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <iterator>

namespace murmo {

// GLib allocates the source with room for what follows its own part.
struct GLibLoop::Source {
    GSource base;
    GLibLoop* loop;

    static GLibLoop& loopOf(GSource* source) { return *reinterpret_cast<Source*>(source)->loop; }

    static gboolean prepare(GSource* source, gint* timeout) {
        auto& loop = loopOf(source);
        loop.registerWatches();
        loop.scheduleNextTimer();
        *timeout = -1;
        return loop.hasPosts();
    }

    // GLib dispatches on its own once the ready time has come.
    static gboolean check(GSource* source) {
        const auto& loop = loopOf(source);
        return loop.hasPosts() || loop.anyWatchReadable();
    }

    static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
        loopOf(source).dispatch();
        return G_SOURCE_CONTINUE;
    }

    static GSourceFuncs functions;
};

GSourceFuncs GLibLoop::Source::functions{
    .prepare = &Source::prepare,
    .check = &Source::check,
    .dispatch = &Source::dispatch,
    .finalize = nullptr,
    .closure_callback = nullptr,
    .closure_marshal = nullptr,
};

GLibLoop::GLibLoop() : context_(g_main_context_default()), source_(g_source_new(&Source::functions, sizeof(Source))) {
    reinterpret_cast<Source*>(source_)->loop = this;
    g_source_set_name(source_, "murmo.loop");
    g_source_attach(source_, context_);
}

GLibLoop::~GLibLoop() {
    // The descriptors registered with the source go with it.
    g_source_destroy(source_);
    g_source_unref(source_);
}

void GLibLoop::run() {
    // A quit ends one run: the one under way, or the next when none is.
    while (!quitRequested_.exchange(false, std::memory_order_acq_rel)) g_main_context_iteration(context_, TRUE);
}

void GLibLoop::quit() {
    quitRequested_.store(true, std::memory_order_release);
    wake();
}

void GLibLoop::wake() { g_main_context_wakeup(context_); }

void GLibLoop::registerWatches() {
    for (const auto& dropped : takeDroppedWatches()) {
        if (dropped->registration) g_source_remove_unix_fd(source_, dropped->registration);
    }
    for (const auto& watch : watches()) {
        if (!watch->registration) {
            watch->registration =
                g_source_add_unix_fd(source_, watch->fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
        }
    }
}

// GLib's monotonic time is CLOCK_MONOTONIC in microseconds; rounding up keeps
// the source from waking before the timer is due.
void GLibLoop::scheduleNextTimer() {
    const auto next = timers().nextDue();
    if (!next) {
        g_source_set_ready_time(source_, -1);
        return;
    }
    const auto readyTime = std::chrono::ceil<std::chrono::microseconds>(next->time_since_epoch());
    g_source_set_ready_time(source_, static_cast<gint64>(readyTime.count()));
}

bool GLibLoop::isReadable(const Watch& watch) const {
    return watch.registration && g_source_query_unix_fd(source_, watch.registration) != 0;
}

bool GLibLoop::anyWatchReadable() const {
    return std::ranges::any_of(watches(), [this](const auto& watch) { return isReadable(*watch); });
}

void GLibLoop::dispatch() {
    Watches ready;
    std::ranges::copy_if(watches(), std::back_inserter(ready),
                         [this](const auto& watch) { return isReadable(*watch); });
    runWatches(ready);
    runReady();
    scheduleNextTimer();
}

}  // namespace murmo
