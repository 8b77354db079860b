#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/Error.h"
#include "runtime/URL.h"

namespace murmo {

// Failures of the connection itself, before or instead of an HTTP reply.
enum class CoreTransportErrorCode : long {
    badURL = 1,
    unsupportedURL = 2,
    cannotConnectToHost = 3,
    timedOut = 4,
    networkConnectionLost = 5,
    badServerResponse = 6,
    cancelled = 7,
    // A reply body or socket message above kMaximumEngineMessageBytes.
    messageTooLarge = 8,
};

// Far above any legitimate reply or event. A larger one fails its request or
// socket with `messageTooLarge` and is never decoded: the engine cannot make
// the client hold or parse an unbounded message.
inline constexpr std::size_t kMaximumEngineMessageBytes = 4 * 1024 * 1024;

inline constexpr std::string_view kCoreTransportErrorDomain = "MurmoCoreTransport";

// The header that carries the desktop token on every request to the engine.
inline constexpr std::string_view kDesktopTokenHeader = "X-Murmo-Desktop-Token";

// An Error in kCoreTransportErrorDomain with the case's English message and
// its snake_case reason ("timed_out", ...).
Error coreTransportError(CoreTransportErrorCode code);
std::string_view rawValue(CoreTransportErrorCode code);

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct CoreHTTPRequest {
    URL url;
    std::string method;
    HeaderList headers;
    // Absent: the request carries no body at all.
    std::optional<std::string> body;
    // Longest wait for any progress (connecting, writing, each piece of the
    // reply); not a deadline for the whole exchange.
    Duration idleTimeout = std::chrono::seconds(60);
    // When set, also the longest the whole exchange may take, from resolving
    // the host to the reply's last byte, however steadily it progresses.
    std::optional<Duration> exchangeTimeout;
};

struct CoreHTTPResponse {
    int status = 0;
    // Absent when the transport delivered no body at all; a delivered body of
    // zero bytes is an empty string.
    std::optional<std::string> body;
};

enum class CoreSocketMessageKind { text, binary };

// One WebSocket message. The bytes are shared and immutable, so a frame that
// waits in a queue is handed to the socket without being copied.
struct CoreSocketMessage {
    CoreSocketMessageKind kind = CoreSocketMessageKind::text;
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;

    static CoreSocketMessage text(std::string_view text);
    static CoreSocketMessage binary(std::vector<std::uint8_t> bytes);
    std::string_view view() const;
    std::size_t size() const { return bytes ? bytes->size() : 0; }
};

struct CoreWebSocketRequest {
    URL url;
    HeaderList headers;
    // Bounds connecting and the opening handshake only; an open socket waits
    // for messages as long as it takes.
    Duration handshakeTimeout = std::chrono::seconds(60);
};

// Completions of the transport run on the transport's own thread, never
// inside the call that started them and never needing the caller's thread:
// a caller may block its own thread while it waits for one.
using CoreHTTPCompletion = std::function<void(Result<CoreHTTPResponse>)>;
using CoreSocketSendCompletion = std::function<void(Status)>;
using CoreSocketReceiveCompletion = std::function<void(Result<CoreSocketMessage>)>;

// One WebSocket connection. It connects by itself once opened; messages
// sent before the handshake completes wait for it, and a failed handshake
// fails every pending and later call.
class CoreWebSocket {
public:
    virtual ~CoreWebSocket() = default;

    // Messages leave in call order, one write in flight at a time; the
    // completion reports when this message's write finished or failed.
    virtual void send(CoreSocketMessage message, CoreSocketSendCompletion completion) = 0;
    // Waits for the next message. One receive at a time.
    virtual void receive(CoreSocketReceiveCompletion completion) = 0;
    // Starts the closing handshake with `code`; pending calls then fail.
    // Idempotent.
    virtual void close(std::uint16_t code) = 0;
};

// HTTP requests and WebSocket connections to the engine.
class CoreTransport {
public:
    virtual ~CoreTransport() = default;

    virtual void sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) = 0;
    virtual std::shared_ptr<CoreWebSocket> openWebSocket(CoreWebSocketRequest request) = 0;
};

}  // namespace murmo
