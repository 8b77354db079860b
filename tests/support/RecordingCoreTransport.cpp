#include "RecordingCoreTransport.h"

#include <algorithm>

namespace murmo::testing {

class RecordingCoreTransport::Socket final : public CoreWebSocket {
public:
    Socket(std::shared_ptr<CoreWebSocket> inner, std::shared_ptr<Record> record)
        : inner_(std::move(inner)), record_(std::move(record)) {}

    void send(CoreSocketMessage message, CoreSocketSendCompletion completion) override {
        inner_->send(std::move(message), std::move(completion));
    }
    void receive(CoreSocketReceiveCompletion completion) override { inner_->receive(std::move(completion)); }
    void close(std::uint16_t code) override {
        {
            std::lock_guard lock(record_->mutex);
            if (!closed_) ++record_->socketsClosed;
            closed_ = true;
        }
        inner_->close(code);
    }

private:
    std::shared_ptr<CoreWebSocket> inner_;
    std::shared_ptr<Record> record_;
    bool closed_ = false;
};

void RecordingCoreTransport::sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) {
    {
        std::lock_guard lock(record_->mutex);
        record_->requests.push_back(request.method + " " + request.url.target());
    }
    inner_->sendHTTP(std::move(request), std::move(completion));
}

std::shared_ptr<CoreWebSocket> RecordingCoreTransport::openWebSocket(CoreWebSocketRequest request) {
    {
        std::lock_guard lock(record_->mutex);
        ++record_->socketsOpened;
    }
    return std::make_shared<Socket>(inner_->openWebSocket(std::move(request)), record_);
}

std::vector<std::string> RecordingCoreTransport::requests() const {
    std::lock_guard lock(record_->mutex);
    return record_->requests;
}

std::size_t RecordingCoreTransport::count(std::string_view request) const {
    std::lock_guard lock(record_->mutex);
    return static_cast<std::size_t>(std::count(record_->requests.begin(), record_->requests.end(), request));
}

std::size_t RecordingCoreTransport::socketsOpened() const {
    std::lock_guard lock(record_->mutex);
    return record_->socketsOpened;
}

std::size_t RecordingCoreTransport::socketsClosed() const {
    std::lock_guard lock(record_->mutex);
    return record_->socketsClosed;
}

}  // namespace murmo::testing
