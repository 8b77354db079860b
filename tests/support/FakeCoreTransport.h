#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "engine/CoreTransport.h"

namespace murmo {

// A WebSocket the test drives by hand: it records what the client sends and
// lets the test complete sends, deliver messages and fail the socket.
class FakeWebSocket final : public CoreWebSocket {
public:
    explicit FakeWebSocket(CoreWebSocketRequest request) : request_(std::move(request)) {}

    void send(CoreSocketMessage message, CoreSocketSendCompletion completion) override;
    void receive(CoreSocketReceiveCompletion completion) override;
    void close(std::uint16_t code) override;

    const CoreWebSocketRequest& request() const { return request_; }
    // Every message handed to send(), in order.
    const std::vector<CoreSocketMessage>& sent() const { return sent_; }
    std::vector<std::string> sentTexts() const;
    // Sends whose completion has not run yet.
    std::size_t pendingSends() const { return pendingSends_.size(); }
    // Completes the oldest pending send.
    void completeSend(Status status = {});
    // When set, every send completes as soon as it is made.
    void setCompletesSendsAtOnce(bool enabled);

    bool receivePending() const { return static_cast<bool>(receiveCompletion_); }
    void deliver(CoreSocketMessage message);
    void deliverText(std::string_view text) { deliver(CoreSocketMessage::text(text)); }
    void failReceive(Error error);

    bool closed() const { return closeCode_.has_value(); }
    std::optional<std::uint16_t> closeCode() const { return closeCode_; }

private:
    CoreWebSocketRequest request_;
    std::vector<CoreSocketMessage> sent_;
    std::deque<CoreSocketSendCompletion> pendingSends_;
    bool completesSendsAtOnce_ = false;
    CoreSocketReceiveCompletion receiveCompletion_;
    std::optional<std::uint16_t> closeCode_;
};

// A transport that records requests and sockets and answers only when the
// test says so. Completions run inside the test's call, standing in for the
// transport's own thread.
class FakeCoreTransport final : public CoreTransport {
public:
    struct PendingRequest {
        CoreHTTPRequest request;
        CoreHTTPCompletion completion;
    };

    void sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) override;
    std::shared_ptr<CoreWebSocket> openWebSocket(CoreWebSocketRequest request) override;

    // Every request made, answered or not, in order.
    const std::vector<CoreHTTPRequest>& requests() const { return requests_; }
    const CoreHTTPRequest& lastRequest() const { return requests_.back(); }
    std::size_t pendingRequests() const { return pending_.size(); }
    // Answers the oldest unanswered request.
    void answer(Result<CoreHTTPResponse> reply);
    void answer(int status, std::optional<std::string> body) { answer(CoreHTTPResponse{status, std::move(body)}); }
    // Answers the unanswered request at `index` (0 is the oldest), so replies
    // can arrive out of order.
    void answerPending(std::size_t index, Result<CoreHTTPResponse> reply);
    const CoreHTTPRequest& pendingRequest(std::size_t index) const { return pending_.at(index).request; }

    const std::vector<std::shared_ptr<FakeWebSocket>>& sockets() const { return sockets_; }
    std::shared_ptr<FakeWebSocket> lastSocket() const { return sockets_.empty() ? nullptr : sockets_.back(); }
    // Sockets opened from now on complete their sends at once.
    void setSocketsCompleteSendsAtOnce(bool enabled) { socketsCompleteSendsAtOnce_ = enabled; }

private:
    std::vector<CoreHTTPRequest> requests_;
    std::deque<PendingRequest> pending_;
    std::vector<std::shared_ptr<FakeWebSocket>> sockets_;
    bool socketsCompleteSendsAtOnce_ = false;
};

}  // namespace murmo
