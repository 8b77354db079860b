#include "RecordingCoreTransport.h"

#include <algorithm>

namespace murmo::testing {

class RecordingCoreTransport::Socket final : public CoreWebSocket {
public:
    Socket(std::shared_ptr<CoreWebSocket> inner, std::shared_ptr<Record> record)
        : inner_(std::move(inner)), record_(std::move(record)) {}

    void send(CoreSocketMessage message, CoreSocketSendCompletion completion) override {
        {
            std::lock_guard lock(record_->mutex);
            ++record_->socketWritesInFlight;
        }
        inner_->send(std::move(message), [record = record_, completion = std::move(completion)](Status status) {
            const bool written = status.has_value();
            if (completion) completion(std::move(status));
            std::lock_guard lock(record->mutex);
            --record->socketWritesInFlight;
            if (written) ++record->socketMessagesWritten;
        });
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
    std::size_t index = 0;
    {
        std::lock_guard lock(record_->mutex);
        record_->requests.push_back(request.method + " " + request.url.target());
        index = record_->exchanges.size();
        Exchange exchange;
        exchange.method = request.method;
        exchange.target = request.url.target();
        exchange.sentMark = ++record_->marks;
        record_->exchanges.push_back(std::move(exchange));
    }
    inner_->sendHTTP(std::move(request),
                     [record = record_, index, completion = std::move(completion)](Result<CoreHTTPResponse> reply) {
                         Exchange ended;
                         if (reply) {
                             ended.outcome = Exchange::Outcome::replied;
                             ended.status = reply->status;
                         } else {
                             ended.outcome = Exchange::Outcome::failed;
                             ended.failure = reply.error().reason.value_or(reply.error().message);
                         }
                         {
                             // Marked before the caller hears of it, so whatever
                             // it sends in answer is marked later.
                             std::lock_guard lock(record->mutex);
                             record->exchanges[index].answeredMark = ++record->marks;
                         }
                         if (completion) completion(std::move(reply));
                         std::lock_guard lock(record->mutex);
                         auto& exchange = record->exchanges[index];
                         exchange.outcome = ended.outcome;
                         exchange.status = ended.status;
                         exchange.failure = std::move(ended.failure);
                     });
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

std::vector<RecordingCoreTransport::Exchange> RecordingCoreTransport::exchanges() const {
    std::lock_guard lock(record_->mutex);
    return record_->exchanges;
}

std::vector<std::string> RecordingCoreTransport::unansweredRequests() const {
    std::lock_guard lock(record_->mutex);
    std::vector<std::string> unanswered;
    for (const auto& exchange : record_->exchanges) {
        if (exchange.outcome == Exchange::Outcome::pending)
            unanswered.push_back(exchange.method + " " + exchange.target);
    }
    return unanswered;
}

std::size_t RecordingCoreTransport::socketWritesInFlight() const {
    std::lock_guard lock(record_->mutex);
    return record_->socketWritesInFlight;
}

std::size_t RecordingCoreTransport::socketMessagesWritten() const {
    std::lock_guard lock(record_->mutex);
    return record_->socketMessagesWritten;
}

}  // namespace murmo::testing
