#pragma once

// Follows the desktop's keyboard focus from the accessibility bus's
// "object:state-changed:focused" events. Events are dispatched on the main
// context that was the thread's default when the connection was attached
// (the application's main loop): the tracker knows only what that loop has
// pumped. Focus that existed before attach() is not known here; the backend
// searches for it on demand.

#include <gio/gio.h>

#include <optional>

#include "platform/linux/AtspiBus.h"
#include "platform/linux/AtspiHandles.h"

namespace murmo {

class AtspiFocusTracker {
public:
    AtspiFocusTracker();
    ~AtspiFocusTracker();
    AtspiFocusTracker(const AtspiFocusTracker&) = delete;
    AtspiFocusTracker& operator=(const AtspiFocusTracker&) = delete;

    // Subscribes to focus events on `connection` (dropping an earlier
    // connection's subscription and what it reported) and asks the registry
    // to have applications send them; that request waits at most until the
    // deadline.
    void attach(GDBusConnection* connection, const AtspiDeadline& deadline);

    // The object that gained the focus last, unless it lost it since.
    const std::optional<AtspiObjectPath>& focused() const { return focused_; }
    // Whether the focused object has the password-text role. Learned from one
    // message sent when the focus moves (answered on the main loop), so asking
    // sends nothing; false until the answer came.
    bool focusedIsPassword() const { return focused_ && focusedIsPassword_; }
    // Drops the focus when it is `object` (an object found to be gone). The
    // focus of an application that leaves the bus goes by itself.
    void forget(const AtspiObjectPath& object);
    // Takes a focus found by searching as if its event had come: an
    // application focuses its first widget before it learns that anybody
    // listens, and that focus must still count (a password field's above
    // all).
    void adopt(AtspiObjectPath object) { focusGained(std::move(object)); }

private:
    struct RoleRequest;
    static void onStateChanged(GDBusConnection*, const char* sender, const char* path, const char*, const char*,
                               GVariant* parameters, gpointer self);
    static void onRole(GObject* source, GAsyncResult* result, gpointer request);
    static void onNameOwnerChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                                   GVariant* parameters, gpointer self);
    void focusGained(AtspiObjectPath object);
    void clearFocus();
    void detach();

    atspi_handles::Object<GDBusConnection> connection_;
    atspi_handles::Object<GCancellable> cancellable_;
    unsigned subscription_ = 0;
    // Departures from the bus: the focus of an application that exited is
    // nobody's.
    unsigned departures_ = 0;
    std::optional<AtspiObjectPath> focused_;
    bool focusedIsPassword_ = false;
};

}  // namespace murmo
