#pragma once

// The connection to the accessibility bus, and the one way this backend
// messages it: GDBus calls made synchronously from the main thread, each with
// its own time-out.
//
// Why GDBus and not libatspi: libatspi has one process-wide time-out, lifts it
// during an application's first 15 s, waits for replies by dispatching other
// bus traffic (its event callbacks then run inside our calls) and caches what
// it read. A GDBus call takes its time-out per call, never re-enters the
// caller and reads nothing from a cache, so a hung application costs exactly
// the time the caller allowed, whatever its age. Signals (the focus tracker's
// events) are dispatched on the main context of the thread that subscribed
// them: the application's main loop (GLibLoop, GLib's default context) pumps
// them; nothing here runs a thread of its own.

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "platform/Accessibility.h"
#include "platform/linux/AtspiHandles.h"

namespace murmo {

// When a call (which may send several messages) must be answered by.
class AtspiDeadline {
public:
    // A time-out that is not positive leaves no time at all.
    static AtspiDeadline after(AXMessagingTimeout seconds);

    // What one message may wait: the time left, at least 1 ms; 0 once the
    // deadline has passed.
    int messageTimeoutMilliseconds() const;
    bool passed() const { return std::chrono::steady_clock::now() >= at_; }

private:
    explicit AtspiDeadline(std::chrono::steady_clock::time_point at) : at_(at) {}
    std::chrono::steady_clock::time_point at_;
};

// One accessible object on the bus.
struct AtspiObjectPath {
    std::string busName;
    std::string path;
    bool operator==(const AtspiObjectPath&) const = default;
};

// A reply: the error code, and the reply's body on success.
struct AtspiReply {
    AXError error = axerror::failure;
    atspi_handles::Variant body;
    // The peer's D-Bus error name when it answered with an error.
    std::string errorName;
    bool ok() const { return error == axerror::success && body; }
};

class AtspiBus {
public:
    // Sends nothing: the bus is found on first use.
    AtspiBus() = default;
    ~AtspiBus();
    AtspiBus(const AtspiBus&) = delete;
    AtspiBus& operator=(const AtspiBus&) = delete;

    // Connects unless connected (asking the session bus for the accessibility
    // bus's address; $AT_SPI_BUS_ADDRESS wins when set). False when it cannot
    // be reached. A closed connection is replaced.
    bool ensureConnected(const AtspiDeadline& deadline);
    // Called with each new connection and the deadline of the call that made
    // it (the focus tracker subscribes on it).
    using ConnectionHandler = std::function<void(GDBusConnection*, const AtspiDeadline&)>;
    void setConnectionHandler(ConnectionHandler handler) {
        connectionHandler_ = std::move(handler);
    }

    // Calls a method. `parameters` (floating or null) is consumed. Fails with
    // apiDisabled when the bus is unreachable, cannotComplete when the
    // deadline passed before or during the call.
    AtspiReply call(const AtspiObjectPath& object, const char* interface, const char* method, GVariant* parameters,
                    const char* replyType, const AtspiDeadline& deadline);
    // Reads a property; the body is the property's value, unboxed. A missing
    // interface (which the properties interface reports as invalid
    // arguments) is attributeUnsupported.
    AtspiReply property(const AtspiObjectPath& object, const char* interface, const char* name,
                        const AtspiDeadline& deadline);

    // The process behind a bus name, asked of the bus daemon (never of the
    // peer) and remembered while the name is on the bus.
    AXResult<std::int32_t> processOf(const std::string& busName, const AtspiDeadline& deadline);
    // The remembered process of a bus name, sending nothing.
    std::optional<std::int32_t> knownProcessOf(const std::string& busName) const;

private:
    bool connect(const AtspiDeadline& deadline);
    void subscribeNameChanges();
    static void onNameOwnerChanged(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant*,
                                   gpointer self);

    atspi_handles::Object<GDBusConnection> connection_;
    unsigned nameSubscription_ = 0;
    ConnectionHandler connectionHandler_;
    std::unordered_map<std::string, std::int32_t> processes_;
};

}  // namespace murmo
