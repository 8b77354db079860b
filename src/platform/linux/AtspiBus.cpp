#include "platform/linux/AtspiBus.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/linux/AtspiErrors.h"

namespace murmo {

namespace {

constexpr char kBusDaemon[] = "org.freedesktop.DBus";
constexpr char kBusDaemonPath[] = "/org/freedesktop/DBus";

using atspi_handles::Error;
using atspi_handles::Object;
using atspi_handles::Variant;

// Asks the session bus where the accessibility bus is, on a connection of
// our own (the shared session connection would end the process when the
// session bus goes away).
std::string accessibilityBusAddress(const AtspiDeadline& deadline) {
    if (const char* fromEnvironment = std::getenv("AT_SPI_BUS_ADDRESS"); fromEnvironment && *fromEnvironment) {
        return fromEnvironment;
    }
    GError* raw = nullptr;
    const atspi_handles::String sessionAddress(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
    Error error(raw);
    if (!sessionAddress) return {};
    raw = nullptr;
    Object<GDBusConnection> session(g_dbus_connection_new_for_address_sync(
        sessionAddress.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &raw));
    error.reset(raw);
    if (!session) return {};
    const int timeout = deadline.messageTimeoutMilliseconds();
    if (timeout == 0) return {};
    raw = nullptr;
    Variant reply(g_dbus_connection_call_sync(session.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                              "GetAddress", nullptr, G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE,
                                              timeout, nullptr, &raw));
    error.reset(raw);
    g_dbus_connection_close_sync(session.get(), nullptr, nullptr);
    if (!reply) return {};
    const char* address = nullptr;
    g_variant_get(reply.get(), "(&s)", &address);
    return address ? address : "";
}

}  // namespace

AtspiDeadline AtspiDeadline::after(AXMessagingTimeout seconds) {
    const auto now = std::chrono::steady_clock::now();
    if (!(seconds > 0.0f) || !std::isfinite(seconds)) {
        return AtspiDeadline(seconds > 0.0f ? now + std::chrono::hours(24) : now);
    }
    return AtspiDeadline(now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   std::chrono::duration<double>(static_cast<double>(seconds))));
}

int AtspiDeadline::messageTimeoutMilliseconds() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - std::chrono::steady_clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::clamp<long long>(left, 1, G_MAXINT));
}

AtspiBus::~AtspiBus() {
    if (connection_ && nameSubscription_ != 0) g_dbus_connection_signal_unsubscribe(connection_.get(), nameSubscription_);
}

bool AtspiBus::ensureConnected(const AtspiDeadline& deadline) {
    if (connection_ && !g_dbus_connection_is_closed(connection_.get())) return true;
    if (connection_) {
        if (nameSubscription_ != 0) g_dbus_connection_signal_unsubscribe(connection_.get(), nameSubscription_);
        nameSubscription_ = 0;
        connection_.reset();
        processes_.clear();
    }
    return connect(deadline);
}

bool AtspiBus::connect(const AtspiDeadline& deadline) {
    const auto address = accessibilityBusAddress(deadline);
    if (address.empty()) return false;
    GError* raw = nullptr;
    connection_.reset(g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &raw));
    Error error(raw);
    if (!connection_) return false;
    g_dbus_connection_set_exit_on_close(connection_.get(), FALSE);
    subscribeNameChanges();
    if (connectionHandler_) connectionHandler_(connection_.get(), deadline);
    return true;
}

void AtspiBus::subscribeNameChanges() {
    nameSubscription_ = g_dbus_connection_signal_subscribe(
        connection_.get(), kBusDaemon, kBusDaemon, "NameOwnerChanged", kBusDaemonPath, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, &AtspiBus::onNameOwnerChanged, this, nullptr);
}

void AtspiBus::onNameOwnerChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                                  GVariant* parameters, gpointer self) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sss)"))) return;
    g_variant_get(parameters, "(&s&s&s)", &name, &oldOwner, &newOwner);
    // A unique name never comes back once its connection left.
    if (*newOwner == '\0') static_cast<AtspiBus*>(self)->processes_.erase(name);
}

AtspiReply AtspiBus::call(const AtspiObjectPath& object, const char* interface, const char* method,
                          GVariant* parameters, const char* replyType, const AtspiDeadline& deadline) {
    const auto ownedParameters = atspi_handles::adoptVariant(parameters);
    if (!ensureConnected(deadline)) {
        return {deadline.passed() ? axerror::cannotComplete : axerror::apiDisabled, nullptr, {}};
    }
    const int timeout = deadline.messageTimeoutMilliseconds();
    if (timeout == 0) return {axerror::cannotComplete, nullptr, {}};
    GError* raw = nullptr;
    Variant body(g_dbus_connection_call_sync(connection_.get(), object.busName.c_str(), object.path.c_str(),
                                             interface, method, ownedParameters.get(),
                                             replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                             G_DBUS_CALL_FLAGS_NONE, timeout, nullptr, &raw));
    Error error(raw);
    if (!body) {
        AXError code = axErrorForDBusError(error.get());
        // A reply that came too late is a time-out whatever it said.
        if (deadline.passed() && code == axerror::failure) code = axerror::cannotComplete;
        const atspi_handles::String remote(error ? g_dbus_error_get_remote_error(error.get()) : nullptr);
        return {code, nullptr, remote ? std::string(remote.get()) : std::string()};
    }
    return {axerror::success, std::move(body), {}};
}

AtspiReply AtspiBus::property(const AtspiObjectPath& object, const char* interface, const char* name,
                              const AtspiDeadline& deadline) {
    auto reply = call(object, "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", interface, name), "(v)",
                      deadline);
    if (!reply.ok()) {
        if (reply.errorName == "org.freedesktop.DBus.Error.InvalidArgs") reply.error = axerror::attributeUnsupported;
        return reply;
    }
    GVariant* value = nullptr;
    g_variant_get(reply.body.get(), "(v)", &value);
    return {axerror::success, Variant(value), {}};
}

AXResult<std::int32_t> AtspiBus::processOf(const std::string& busName, const AtspiDeadline& deadline) {
    if (auto known = knownProcessOf(busName)) return {axerror::success, *known};
    auto reply = call(AtspiObjectPath{kBusDaemon, kBusDaemonPath}, kBusDaemon, "GetConnectionUnixProcessID",
                      g_variant_new("(s)", busName.c_str()), "(u)", deadline);
    if (!reply.ok()) return {reply.error, std::nullopt};
    guint32 pid = 0;
    g_variant_get(reply.body.get(), "(u)", &pid);
    if (pid == 0 || pid > static_cast<guint32>(G_MAXINT32)) return {axerror::failure, std::nullopt};
    processes_[busName] = static_cast<std::int32_t>(pid);
    return {axerror::success, static_cast<std::int32_t>(pid)};
}

std::optional<std::int32_t> AtspiBus::knownProcessOf(const std::string& busName) const {
    auto found = processes_.find(busName);
    if (found == processes_.end()) return std::nullopt;
    return found->second;
}

}  // namespace murmo
