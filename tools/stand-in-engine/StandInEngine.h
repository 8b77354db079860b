#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/Error.h"

namespace murmo {

// One request as the stand-in engine received it.
struct StandInRequest {
    std::string method;
    // The path without its query, as sent ("/api/health").
    std::string path;
    // The request target as sent, query included.
    std::string target;
    // Header names in lower case.
    std::map<std::string, std::string, std::less<>> headers;
    std::string body;
    // False when the request was refused for a missing or wrong token.
    bool authorized = false;

    std::string header(std::string_view name) const;
};

struct StandInReply {
    // How the connection is answered.
    enum class Delivery {
        respond,
        // Reads the request and never answers; the connection stays open
        // until the engine stops.
        hang,
        // Closes the connection without writing anything.
        closeWithoutReply,
        // Reads the request, records it and parks it with the connection
        // open until StandInEngine::releaseHeldReply names the reply to give
        // (or the engine stops). Nothing times a parked request out.
        hold,
    };

    unsigned status = 200;
    std::string body;
    std::string contentType = "application/json";
    // Waits this long before answering (or closing).
    Duration delay{};
    Delivery delivery = Delivery::respond;

    static StandInReply hanging();
    static StandInReply closingWithoutReply();
    static StandInReply held();
    StandInReply after(Duration wait) const;
};

// One message the engine received on an event socket.
struct StandInSocketFrame {
    // Which socket, counting accepted sockets from 0.
    std::size_t socket = 0;
    bool text = true;
    std::string bytes;
};

// One event to push on the event sockets; the engine adds the protocol
// version and each socket's sequence number.
struct StandInEvent {
    std::string type{};
    // JSON text, normally an object; text that does not parse is sent as {}.
    std::string dataJSON = "{}";
    std::string qos = "reliable";
    // "operation_id", left out when absent.
    std::optional<std::string> operationID{};
    // "monotonic_ns": the engine's uptime clock when the event arose, left
    // out when absent.
    std::optional<std::uint64_t> monotonicNanoseconds{};
};

// What the engine does with the acknowledgement due after a native audio end.
enum class StandInAcknowledgements {
    send,
    // Kept until releaseHeldAcknowledgements().
    hold,
    // Never sent.
    refuse,
};

// Answers one authorised request. Runs on the engine's I/O thread.
using StandInHandler = std::function<StandInReply(const StandInRequest&)>;

struct StandInEngineOptions {
    std::string host = "127.0.0.1";
    // 0 lets the system choose a free port; port() tells which.
    std::uint16_t port = 0;
    // Every request must carry it in "X-Murmo-Desktop-Token".
    std::string desktopToken;
    // How many of the most recent requests and of the most recent socket
    // frames are kept for reading back; older ones are only counted.
    std::size_t recordCapacity = 1024;
};

// A stand-in for the engine program: its HTTP API and event WebSocket on the
// loopback interface, run on an I/O thread of its own, so tests, benchmarks
// and local runs have a real peer. It recognises no speech: every endpoint
// gives a well-formed default reply. Tests script it through this API from
// any thread; the murmo-stand-in-engine program wraps it.
//
// Scripted answers: a handler or reply set for a method and path replaces
// the built-in answer. A path may hold "*" segments, each matching exactly
// one segment, so a test can answer operations whose ids it does not know
// yet; an exact path wins over a pattern, and among patterns the one set
// last. A reply may wait, hang, close without a reply, or be held: the
// request is parked until the test releases it with the reply to give then
// (heldRequests, waitForHeldRequests, releaseHeldReply), so a test decides
// when, and with what, an engine call completes.
//
// Event socket ("/ws/events"): every accepted socket first gets a
// "runtime_status" event, then whatever is pushed; events carry the socket's
// own sequence numbers from 1. A text frame {"type":"native_audio_end",
// "operation_id":X} is answered with {"type":"native_audio_end_ack",
// "operation_id":X} unless acknowledgements are held or refused.
class StandInEngine {
public:
    static constexpr std::string_view kTokenHeader = "X-Murmo-Desktop-Token";
    static constexpr std::string_view kHealthPath = "/api/health";
    static constexpr std::string_view kEventsPath = "/ws/events";

    explicit StandInEngine(StandInEngineOptions options);
    ~StandInEngine();
    StandInEngine(const StandInEngine&) = delete;
    StandInEngine& operator=(const StandInEngine&) = delete;

    // Binds and starts serving on the I/O thread.
    Status start();
    // Closes every connection and joins the I/O thread. Idempotent.
    void stop();

    std::uint16_t port() const;
    // "http://<host>:<port>"
    std::string baseURL() const;

    // The health endpoint answers the ready reply while ready, else 503 with
    // "ok" false. Ready from the start unless told otherwise.
    void setReady(bool ready);
    bool isReady() const;
    // Runs on the I/O thread once the first ready health reply has been
    // written to its connection.
    void onFirstReadyReply(std::function<void()> callback);

    // Replaces the built-in answer for one method and path (handlers win over
    // the built-in health answer too). A "*" segment of `path` matches any
    // one segment, as sent ("/api/v1/dictations/*/release"); a handler for
    // the exact path wins over every pattern, and among matching patterns
    // the one set last. Setting the same method and path again replaces it.
    void setHandler(std::string method, std::string path, StandInHandler handler);
    void setReply(std::string method, std::string path, StandInReply reply);
    void removeHandler(std::string_view method, std::string_view path);

    // The most recent requests (up to the record capacity), refused ones and
    // socket upgrades included, in arrival order.
    std::vector<StandInRequest> requests() const;
    // How many requests for `path` arrived since the start, kept or not.
    std::size_t requestCount(std::string_view path) const;

    // Held replies (StandInReply::held()).
    // The requests parked now, oldest first.
    std::vector<StandInRequest> heldRequests() const;
    // Blocks until at least `count` requests are parked or `timeout` passed;
    // false on time-out.
    bool waitForHeldRequests(std::size_t count, Duration timeout) const;
    // Answers the oldest parked request whose path equals `path` (or matches
    // it, when `path` has "*" segments) with `reply`, its delay and delivery
    // included; false when none is parked. A request whose client gave up
    // stays parked until released or the engine stops.
    bool releaseHeldReply(std::string_view path, StandInReply reply);

    // Event socket control.
    // Sends an event with the next sequence number of each open socket.
    void pushEvent(StandInEvent event);
    void pushEvent(std::string type, std::string dataJSON = "{}", std::string qos = "reliable",
                   std::optional<std::string> operationID = std::nullopt);
    // Sends this text as it is to every open socket.
    void pushText(std::string text);
    // While refused, upgrades are answered with 403.
    void setRefusesSockets(bool refuse);
    // Closes every open socket at once, without a closing handshake.
    void dropSockets();
    void setAcknowledgements(StandInAcknowledgements policy);
    // Sends the acknowledgements held so far.
    void releaseHeldAcknowledgements();
    std::size_t openSocketCount() const;
    std::size_t acceptedSocketCount() const;
    // The most recent frames received (up to the record capacity), in
    // arrival order.
    std::vector<StandInSocketFrame> socketFrames() const;
    // How many frames arrived since the start, kept or not.
    std::size_t socketFrameCount() const;
    // Blocks until at least `count` frames arrived in all or `timeout`
    // passed; false on time-out.
    bool waitForSocketFrames(std::size_t count, Duration timeout) const;

    // {"ok":true,"protocol_version":1,"desktop_hosted":true}
    static StandInReply readyHealthReply();
    static StandInReply notReadyHealthReply();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace murmo
