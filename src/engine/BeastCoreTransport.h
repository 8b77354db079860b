#pragma once

#include <memory>

#include "engine/CoreTransport.h"

namespace murmo {

// The engine transport over Boost.Beast: plain HTTP/1.1 and WebSocket on one
// I/O thread of its own. Every completion runs on that thread, so a caller
// may block its own thread while it waits for one. Each HTTP request uses a
// connection of its own, closed after the reply.
//
// Destroying the transport aborts what is still running (completions then
// report `cancelled` or a lost connection) and joins the thread.
class BeastCoreTransport final : public CoreTransport {
public:
    BeastCoreTransport();
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
