#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/CoreTransport.h"

namespace murmo::testing {

// Passes everything on to a real transport and records what went out: each
// request as "METHOD /target", and how many sockets were opened and closed.
class RecordingCoreTransport final : public CoreTransport {
public:
    explicit RecordingCoreTransport(std::shared_ptr<CoreTransport> inner) : inner_(std::move(inner)) {}

    void sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) override;
    std::shared_ptr<CoreWebSocket> openWebSocket(CoreWebSocketRequest request) override;

    std::vector<std::string> requests() const;
    std::size_t count(std::string_view request) const;
    std::size_t socketsOpened() const;
    std::size_t socketsClosed() const;

private:
    class Socket;
    // Shared with the sockets, which may outlive the transport.
    struct Record {
        std::mutex mutex;
        std::vector<std::string> requests;
        std::size_t socketsOpened = 0;
        std::size_t socketsClosed = 0;
    };

    std::shared_ptr<CoreTransport> inner_;
    std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

}  // namespace murmo::testing
