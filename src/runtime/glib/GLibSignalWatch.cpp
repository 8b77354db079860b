#include "runtime/glib/GLibSignalWatch.h"

#include <glib-unix.h>
#include <glib.h>

namespace murmo {

// What one signal's source hands back to the watch.
struct GLibSignalWatch::Delivery {
    GLibSignalWatch* watch;
    int signal;

    static gboolean deliver(gpointer data) {
        const auto* delivery = static_cast<Delivery*>(data);
        delivery->watch->onSignal_(delivery->signal);
        return G_SOURCE_CONTINUE;
    }
    static void release(gpointer data) { delete static_cast<Delivery*>(data); }
};

GLibSignalWatch::GLibSignalWatch(GLibLoop& loop, std::initializer_list<int> signals, std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
    for (const int signal : signals) {
        GSource* source = g_unix_signal_source_new(signal);
        if (!source) continue;  // a signal GLib does not watch; it says so on standard error
        g_source_set_callback(source, &Delivery::deliver, new Delivery{this, signal}, &Delivery::release);
        g_source_attach(source, loop.context());
        sources_.push_back(source);
    }
}

GLibSignalWatch::~GLibSignalWatch() {
    for (GSource* source : sources_) {
        g_source_destroy(source);
        g_source_unref(source);
    }
}

}  // namespace murmo
