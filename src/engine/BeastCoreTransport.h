#pragma once

#include <memory>

#include "engine/CoreTransport.h"
#include "runtime/Logger.h"

namespace murmo {

// The engine transport over Boost.Beast: plain HTTP/1.1 and WebSocket on one
// I/O thread of its own. Every completion runs on that thread, so a caller
// may block its own thread while it waits for one. Each HTTP request uses a
// connection of its own, closed after the reply.
//
// A reply body or socket message above kMaximumEngineMessageBytes is refused
// with its size logged: a reply as soon as its declared length (or the body
// read so far) passes the bound; a socket message after it has been read to
// its end without being kept, which then fails the socket.
//
// Destroying the transport aborts what is still running (completions then
// report `cancelled` or a lost connection) and joins the thread.
class BeastCoreTransport final : public CoreTransport {
public:
    // A null sink logs to standard error.
    explicit BeastCoreTransport(std::shared_ptr<LogSink> logSink = nullptr);
    ~BeastCoreTransport() override;
    BeastCoreTransport(const BeastCoreTransport&) = delete;
    BeastCoreTransport& operator=(const BeastCoreTransport&) = delete;

    void sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) override;
    std::shared_ptr<CoreWebSocket> openWebSocket(CoreWebSocketRequest request) override;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace murmo
