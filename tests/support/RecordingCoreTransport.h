#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/CoreTransport.h"

namespace murmo::testing {

// Passes everything on to a real transport and records what went out: each
// request as "METHOD /target" with how its exchange ended, how many sockets
// were opened and closed, and the socket messages written. Thread-safe; what
// it records outlives it (completions may come after it is gone).
class RecordingCoreTransport final : public CoreTransport {
public:
    // One HTTP exchange.
    struct Exchange {
        enum class Outcome { pending, replied, failed };

        std::string method;
        std::string target;
        Outcome outcome = Outcome::pending;
        // The reply's status, when replied.
        int status = 0;
        // The transport error's reason, when failed.
        std::string failure;
        // Marks on one counter of the transport, so the order of sends and
        // outcomes can be read back: the request went out at `sentMark`, its
        // outcome came in at `answeredMark` (before the caller heard of it; 0
        // while pending). Both 0 when the order is unknown.
        std::uint64_t sentMark = 0;
        std::uint64_t answeredMark = 0;

        // A transport error or a status outside 200...299.
        bool failed() const { return outcome == Outcome::failed || (outcome == Outcome::replied && !succeeded()); }
        bool succeeded() const { return outcome == Outcome::replied && status >= 200 && status < 300; }
    };

    explicit RecordingCoreTransport(std::shared_ptr<CoreTransport> inner) : inner_(std::move(inner)) {}

    void sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) override;
    std::shared_ptr<CoreWebSocket> openWebSocket(CoreWebSocketRequest request) override;

    std::vector<std::string> requests() const;
    std::size_t count(std::string_view request) const;
    std::size_t socketsOpened() const;
    std::size_t socketsClosed() const;

    // Every exchange in the order the requests were sent. An exchange counts
    // as ended only once the caller's completion has returned, so whatever
    // that completion handed on (a post to a loop) is already there.
    std::vector<Exchange> exchanges() const;
    // "METHOD /target" of each exchange not ended yet.
    std::vector<std::string> unansweredRequests() const;
    // Socket messages handed to the transport whose write has not finished.
    std::size_t socketWritesInFlight() const;
    // Socket messages written without error.
    std::size_t socketMessagesWritten() const;

private:
    class Socket;
    // Shared with the sockets and completions, which may outlive the transport.
    struct Record {
        std::mutex mutex;
        std::vector<std::string> requests;
        std::vector<Exchange> exchanges;
        std::size_t socketsOpened = 0;
        std::size_t socketsClosed = 0;
        std::size_t socketWritesInFlight = 0;
        std::size_t socketMessagesWritten = 0;
        std::uint64_t marks = 0;
    };

    std::shared_ptr<CoreTransport> inner_;
    std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

}  // namespace murmo::testing
