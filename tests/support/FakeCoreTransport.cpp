#include "FakeCoreTransport.h"

#include <gtest/gtest.h>

namespace murmo {

void FakeWebSocket::send(CoreSocketMessage message, CoreSocketSendCompletion completion) {
    sent_.push_back(std::move(message));
    if (completesSendsAtOnce_) {
        if (completion) completion(Status{});
        return;
    }
    pendingSends_.push_back(std::move(completion));
}

void FakeWebSocket::receive(CoreSocketReceiveCompletion completion) {
    if (receiveCompletion_) {
        ADD_FAILURE() << "two receives at once";
        return;
    }
    receiveCompletion_ = std::move(completion);
}

void FakeWebSocket::close(std::uint16_t code) {
    if (!closeCode_) closeCode_ = code;
}

std::vector<std::string> FakeWebSocket::sentTexts() const {
    std::vector<std::string> texts;
    for (const auto& message : sent_) {
        texts.emplace_back(message.kind == CoreSocketMessageKind::text
                               ? std::string(message.view())
                               : "<binary " + std::to_string(message.size()) + ">");
    }
    return texts;
}

void FakeWebSocket::completeSend(Status status) {
    if (pendingSends_.empty()) {
        ADD_FAILURE() << "no send to complete";
        return;
    }
    auto completion = std::move(pendingSends_.front());
    pendingSends_.pop_front();
    if (completion) completion(std::move(status));
}

void FakeWebSocket::setCompletesSendsAtOnce(bool enabled) {
    completesSendsAtOnce_ = enabled;
    while (enabled && !pendingSends_.empty()) completeSend();
}

void FakeWebSocket::deliver(CoreSocketMessage message) {
    if (!receiveCompletion_) {
        ADD_FAILURE() << "nobody is receiving";
        return;
    }
    auto completion = std::move(receiveCompletion_);
    receiveCompletion_ = nullptr;
    completion(std::move(message));
}

void FakeWebSocket::failReceive(Error error) {
    if (!receiveCompletion_) {
        ADD_FAILURE() << "nobody is receiving";
        return;
    }
    auto completion = std::move(receiveCompletion_);
    receiveCompletion_ = nullptr;
    completion(fail(std::move(error)));
}

void FakeCoreTransport::sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) {
    requests_.push_back(request);
    pending_.push_back(PendingRequest{std::move(request), std::move(completion)});
}

std::shared_ptr<CoreWebSocket> FakeCoreTransport::openWebSocket(CoreWebSocketRequest request) {
    auto socket = std::make_shared<FakeWebSocket>(std::move(request));
    socket->setCompletesSendsAtOnce(socketsCompleteSendsAtOnce_);
    sockets_.push_back(socket);
    return socket;
}

void FakeCoreTransport::answer(Result<CoreHTTPResponse> reply) { answerPending(0, std::move(reply)); }

void FakeCoreTransport::answerPending(std::size_t index, Result<CoreHTTPResponse> reply) {
    if (index >= pending_.size()) {
        ADD_FAILURE() << "no unanswered request " << index << " (" << pending_.size() << " waiting)";
        return;
    }
    const auto position = pending_.begin() + static_cast<std::ptrdiff_t>(index);
    auto pending = std::move(*position);
    pending_.erase(position);
    if (pending.completion) pending.completion(std::move(reply));
}

}  // namespace murmo
