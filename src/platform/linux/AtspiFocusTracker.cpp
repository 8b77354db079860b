#include "platform/linux/AtspiFocusTracker.h"

#include <atspi/atspi-constants.h>

#include <memory>
#include <string_view>

#include "platform/linux/AtspiRoles.h"

namespace murmo {

namespace {

constexpr char kFocusEvent[] = "object:state-changed:focused";
// The role answer only feeds the secure-input flag: a slow peer leaves it
// false a little longer rather than hold anything up.
constexpr int kRoleTimeoutMilliseconds = 2000;

}  // namespace

// One role question in flight. It holds its own reference to the cancellable
// so an answer arriving after the tracker is gone touches nothing of it.
struct AtspiFocusTracker::RoleRequest {
    AtspiFocusTracker* tracker;
    atspi_handles::Object<GCancellable> cancellable;
    AtspiObjectPath object;
};

AtspiFocusTracker::AtspiFocusTracker() : cancellable_(g_cancellable_new()) {}

AtspiFocusTracker::~AtspiFocusTracker() { detach(); }

void AtspiFocusTracker::detach() {
    g_cancellable_cancel(cancellable_.get());
    cancellable_.reset(g_cancellable_new());
    for (unsigned* subscription : {&subscription_, &departures_}) {
        if (connection_ && *subscription != 0) g_dbus_connection_signal_unsubscribe(connection_.get(), *subscription);
        *subscription = 0;
    }
    connection_.reset();
    clearFocus();
}

void AtspiFocusTracker::attach(GDBusConnection* connection, const AtspiDeadline& deadline) {
    detach();
    connection_.reset(static_cast<GDBusConnection*>(g_object_ref(connection)));
    subscription_ = g_dbus_connection_signal_subscribe(connection, nullptr, ATSPI_DBUS_INTERFACE_EVENT_OBJECT,
                                                       "StateChanged", nullptr, "focused", G_DBUS_SIGNAL_FLAGS_NONE,
                                                       &AtspiFocusTracker::onStateChanged, this, nullptr);
    departures_ = g_dbus_connection_signal_subscribe(connection, "org.freedesktop.DBus", "org.freedesktop.DBus",
                                                     "NameOwnerChanged", "/org/freedesktop/DBus", nullptr,
                                                     G_DBUS_SIGNAL_FLAGS_NONE, &AtspiFocusTracker::onNameOwnerChanged,
                                                     this, nullptr);
    // Toolkits send events only while somebody listens for them.
    const int timeout = deadline.messageTimeoutMilliseconds();
    if (timeout == 0) return;
    // Without the registration the tracker still works with toolkits that
    // always send; the on-demand search covers the rest, so a failure here
    // is not the caller's.
    GError* raw = nullptr;
    const atspi_handles::Variant reply(g_dbus_connection_call_sync(
        connection, ATSPI_DBUS_NAME_REGISTRY, ATSPI_DBUS_PATH_REGISTRY, ATSPI_DBUS_INTERFACE_REGISTRY, "RegisterEvent",
        g_variant_new("(s@ass)", kFocusEvent, g_variant_new_strv(nullptr, 0), ""), nullptr, G_DBUS_CALL_FLAGS_NONE,
        timeout, nullptr, &raw));
    const atspi_handles::Error error(raw);
}

void AtspiFocusTracker::onStateChanged(GDBusConnection*, const char* sender, const char* path, const char*,
                                       const char*, GVariant* parameters, gpointer self) {
    auto& tracker = *static_cast<AtspiFocusTracker*>(self);
    if (!sender || !path || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(siiva{sv})"))) return;
    const char* detail = nullptr;
    gint32 gained = 0;
    gint32 unused = 0;
    g_variant_get_child(parameters, 0, "&s", &detail);
    g_variant_get_child(parameters, 1, "i", &gained);
    g_variant_get_child(parameters, 2, "i", &unused);
    if (std::string_view(detail) != "focused") return;
    AtspiObjectPath object{sender, path};
    if (gained != 0) {
        tracker.focusGained(std::move(object));
    } else if (tracker.focused_ == object) {
        tracker.clearFocus();
    }
}

void AtspiFocusTracker::focusGained(AtspiObjectPath object) {
    if (focused_ == object) return;
    focused_ = object;
    focusedIsPassword_ = false;
    auto* request = new RoleRequest{
        this, atspi_handles::Object<GCancellable>(static_cast<GCancellable*>(g_object_ref(cancellable_.get()))),
        std::move(object)};
    g_dbus_connection_call(connection_.get(), request->object.busName.c_str(), request->object.path.c_str(),
                           ATSPI_DBUS_INTERFACE_ACCESSIBLE, "GetRole", nullptr, G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, kRoleTimeoutMilliseconds, request->cancellable.get(),
                           &AtspiFocusTracker::onRole, request);
}

void AtspiFocusTracker::onRole(GObject* source, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<RoleRequest> request(static_cast<RoleRequest*>(data));
    GError* raw = nullptr;
    const atspi_handles::Variant reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw));
    const atspi_handles::Error error(raw);
    if (!reply || g_cancellable_is_cancelled(request->cancellable.get())) return;
    guint32 role = 0;
    g_variant_get(reply.get(), "(u)", &role);
    auto& tracker = *request->tracker;
    if (tracker.focused_ == request->object) tracker.focusedIsPassword_ = isPasswordRole(role);
}

void AtspiFocusTracker::onNameOwnerChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                                            GVariant* parameters, gpointer self) {
    auto& tracker = *static_cast<AtspiFocusTracker*>(self);
    if (!tracker.focused_ || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sss)"))) return;
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
    if (*newOwner == '\0' && tracker.focused_->busName == name) {
        tracker.clearFocus();
    }
}

void AtspiFocusTracker::clearFocus() {
    focused_.reset();
    focusedIsPassword_ = false;
}

void AtspiFocusTracker::forget(const AtspiObjectPath& object) {
    if (focused_ != object) return;
    clearFocus();
}

}  // namespace murmo
