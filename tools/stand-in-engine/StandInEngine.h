#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    unsigned status = 200;
    std::string body;
    std::string contentType = "application/json";
};

// Answers one authorised request. Runs on the engine's I/O thread.
using StandInHandler = std::function<StandInReply(const StandInRequest&)>;

struct StandInEngineOptions {
    std::string host = "127.0.0.1";
    // 0 lets the system choose a free port; port() tells which.
    std::uint16_t port = 0;
    // Every request must carry it in "X-Murmo-Desktop-Token".
    std::string desktopToken;
};

// A stand-in for the engine program: an HTTP server on the loopback
// interface, run on an I/O thread of its own, so tests, benchmarks and local
// runs have a real peer. It recognises no speech. Tests script it through
// this API from any thread; the murmo-stand-in-engine program wraps it.
class StandInEngine {
public:
    static constexpr std::string_view kTokenHeader = "X-Murmo-Desktop-Token";
    static constexpr std::string_view kHealthPath = "/api/health";

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

    // Every request received so far, refused ones included, in arrival order.
    std::vector<StandInRequest> requests() const;
    std::size_t requestCount(std::string_view path) const;

    // {"ok":true,"protocol_version":1,"desktop_hosted":true}
    static StandInReply readyHealthReply();
    static StandInReply notReadyHealthReply();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace murmo
