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
    };

    unsigned status = 200;
    std::string body;
    std::string contentType = "application/json";
    // Waits this long before answering (or closing).
    Duration delay{};
    Delivery delivery = Delivery::respond;

    static StandInReply hanging();
    static StandInReply closingWithoutReply();
    StandInReply after(Duration wait) const;
};

// One message the engine received on an event socket.
struct StandInSocketFrame {
    // Which socket, counting accepted sockets from 0.
    std::size_t socket = 0;
    bool text = true;
    std::string bytes;
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
    // the built-in health answer too).
    void setHandler(std::string method, std::string path, StandInHandler handler);
    void setReply(std::string method, std::string path, StandInReply reply);
    void removeHandler(std::string_view method, std::string_view path);

    // The most recent requests (up to the record capacity), refused ones and
    // socket upgrades included, in arrival order.
    std::vector<StandInRequest> requests() const;
    // How many requests for `path` arrived since the start, kept or not.
    std::size_t requestCount(std::string_view path) const;

    // Event socket control.
    // Sends an event with the next sequence number of each open socket.
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
