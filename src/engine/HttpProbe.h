#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/Clock.h"

namespace murmo {

// The parts of an "http://host:port/path" URL.
struct HttpURL {
    std::string host;
    std::uint16_t port = 80;
    // Starts with "/".
    std::string path = "/";

    static std::optional<HttpURL> parse(std::string_view text);
    // Appends `component` ("api/health") as further path components, with
    // exactly one slash between the old path and the new part.
    HttpURL appending(std::string_view component) const;
};

// How one probe ended.
struct HttpProbeResult {
    enum class Kind {
        // An HTTP reply with a status, whatever the status.
        reply,
        // Something answered, but not with HTTP.
        notHTTP,
        // No answer: refused, unreachable, timed out.
        failed,
    };

    Kind kind = Kind::failed;
    unsigned status = 0;
    std::string body;
    // For `failed`: what went wrong, for messages.
    std::string errorDescription;
};

// Single plain HTTP GET requests with a total time-out, made on an I/O thread
// of its own so the main thread never waits on the network. The engine's
// health check uses it. Destroying the probe abandons requests in flight
// without calling their completions.
class HttpProbe {
public:
    using Headers = std::vector<std::pair<std::string, std::string>>;
    // Called on the probe's I/O thread.
    using Completion = std::function<void(HttpProbeResult)>;

    HttpProbe();
    ~HttpProbe();
    HttpProbe(const HttpProbe&) = delete;
    HttpProbe& operator=(const HttpProbe&) = delete;

    // Any thread. Nothing cached is used: every call is a fresh connection.
    void get(const HttpURL& url, Headers headers, Duration timeout, Completion completion);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace murmo
