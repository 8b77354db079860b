#include "engine/CoreEventSocket.h"

namespace murmo {

namespace {

constexpr std::string_view kEndAcknowledgementType = "native_audio_end_ack";
constexpr Duration kHandshakeTimeout = std::chrono::seconds(60);

// The engine's acknowledgement of a finished stream: "type" and
// "operation_id", both required strings.
struct NativeAudioControlAcknowledgement {
    std::string type;
    std::string operationID;

    static std::optional<NativeAudioControlAcknowledgement> fromJSON(const json::Json& object) {
        auto type = json::requiredString(object, "type");
        auto operationID = json::requiredString(object, "operation_id");
        if (!type || !operationID) return std::nullopt;
        return NativeAudioControlAcknowledgement{std::move(*type), std::move(*operationID)};
    }
};

}  // namespace

std::shared_ptr<CoreEventSocket> CoreEventSocket::create(std::optional<URL> baseURL, std::string desktopToken,
                                                         Dependencies dependencies) {
    return std::shared_ptr<CoreEventSocket>(
        new CoreEventSocket(std::move(baseURL), std::move(desktopToken), std::move(dependencies)));
}

CoreEventSocket::CoreEventSocket(std::optional<URL> baseURL, std::string desktopToken, Dependencies dependencies)
    : baseURL_(std::move(baseURL)),
      desktopToken_(std::move(desktopToken)),
      loop_(dependencies.loop),
      transport_(std::move(dependencies.transport)),
      queue_(std::move(dependencies.queue)),
      log_(std::move(dependencies.log)) {}

CoreEventSocket::~CoreEventSocket() {
    if (socket_) socket_->close(kGoingAwayCloseCode);
}

std::optional<CoreWebSocketRequest> CoreEventSocket::socketRequest(const std::optional<URL>& baseURL,
                                                                   const std::string& desktopToken) {
    if (!baseURL) return std::nullopt;
    CoreWebSocketRequest request;
    const auto scheme = baseURL->scheme() == "https" ? "wss" : "ws";
    request.url = baseURL->appending(URLPath::literal(kEventsPath)).withScheme(scheme);
    request.headers.emplace_back(std::string(kDesktopTokenHeader), desktopToken);
    request.handshakeTimeout = kHandshakeTimeout;
    return request;
}

void CoreEventSocket::connect() {
    auto keepAlive = shared_from_this();
    shouldReconnect_ = true;
    openSocket();
}

void CoreEventSocket::openSocket() {
    auto keepAlive = shared_from_this();
    if (socket_) {
        if (auto stream = audioStream(); stream && stream->hasOpenSession()) {
            const auto generation = generation_;
            const auto socket = socket_;
            stream->failActiveStream(NativeAudioTransportReason::socketReplaced);
            // The owner may have connected or disconnected from inside.
            if (generation_ != generation || socket_ != socket || !shouldReconnect_) return;
        }
    }
    reconnectTimer_.cancel();
    cancelLoops();
    if (auto previous = std::exchange(socket_, nullptr)) previous->close(kGoingAwayCloseCode);

    auto request = socketRequest(baseURL_, desktopToken_);
    if (!request) return;
    auto socket = transport_->openWebSocket(std::move(*request));
    ++generation_;
    socket_ = socket;
    ready_ = false;
    lastEventSequence_ = 0;
    // Frames queued while no socket existed go out now, in order.
    startSendingIfNeeded();
    receiveNext(++receiveToken_, socket);
}

void CoreEventSocket::cancelLoops() {
    ++receiveToken_;
    ++sendToken_;
    sending_ = false;
    pacingTimer_.cancel();
}

void CoreEventSocket::socketFailed(const std::shared_ptr<CoreWebSocket>& socket, const Error& error) {
    if (!socket || socket != socket_) return;  // a replaced socket's late failure changes nothing
    auto keepAlive = shared_from_this();
    log_.error("WebSocket transport interrupted detail={} queued_bytes={}", logPrivate(error.message),
               logPublic(queue_->queuedAudioBytes()));
    const auto generation = generation_;
    const auto stream = audioStream();
    const bool streamOpen = stream && stream->hasOpenSession();
    if (NativeAudioTransportPolicy::socketFailureDisposition(streamOpen) ==
        NativeAudioTransportPolicy::SocketFailureDisposition::failClosedNativeSession) {
        stream->failActiveStream(NativeAudioTransportReason::socketInterrupted);
        if (generation_ != generation || socket_ != socket) return;
    }
    ++generation_;
    cancelLoops();
    socket_ = nullptr;
    socket->close(kGoingAwayCloseCode);
    ready_ = false;
    if (onConnectionChange) onConnectionChange(false);
    // The owner may have connected from inside; then no reconnect is due.
    scheduleReconnect();
}

void CoreEventSocket::scheduleReconnect() {
    // A reconnect is due only while the socket is wanted and none is current:
    // a stale one must never replace a healthy socket.
    if (!shouldReconnect_ || reconnectTimer_.armed() || socket_) return;
    reconnectTimer_ = loop_.after(NativeAudioTransportPolicy::reconnectDelay, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || !self->shouldReconnect_ || self->socket_) return;
        self->openSocket();
    });
}

void CoreEventSocket::disconnect() {
    auto keepAlive = shared_from_this();
    const auto stream = audioStream();
    // The open stream fails first, while the backlog is still queued, so its
    // fault report shows what the engine never received. Disconnecting then
    // wins over whatever the owner did from inside that report.
    if (stream) stream->failActiveStream(NativeAudioTransportReason::transportDisconnected);
    shouldReconnect_ = false;
    reconnectTimer_.cancel();
    cancelLoops();
    queue_->clear();
    ++generation_;
    if (auto socket = std::exchange(socket_, nullptr)) socket->close(kGoingAwayCloseCode);
    ready_ = false;
    lastEventSequence_ = 0;
    // Ends still waiting, of any operation, can never be acknowledged now.
    if (stream) stream->settleEverything(NativeAudioTransportReason::transportDisconnected);
    if (onConnectionChange) onConnectionChange(false);
}

void CoreEventSocket::receiveNext(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket) {
    socket->receive([weak = weak_from_this(), loop = &loop_, token,
                     weakSocket = std::weak_ptr<CoreWebSocket>(socket)](Result<CoreSocketMessage> message) mutable {
        loop->post([weak, token, weakSocket, message = std::move(message)]() mutable {
            auto self = weak.lock();
            auto socket = weakSocket.lock();
            if (self) self->onReceived(token, socket, std::move(message));
        });
    });
}

bool CoreEventSocket::isCurrentReceive(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket) const {
    return token == receiveToken_ && socket && socket == socket_;
}

void CoreEventSocket::onReceived(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket,
                                 Result<CoreSocketMessage> message) {
    if (token != receiveToken_ || !socket) return;  // the loop was cancelled
    auto keepAlive = shared_from_this();
    if (!message) {
        socketFailed(socket, message.error());
        return;
    }
    if (!handleMessage(token, socket, *message)) return;
    if (isCurrentReceive(token, socket)) receiveNext(token, socket);
}

bool CoreEventSocket::handleMessage(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket,
                                    const CoreSocketMessage& message) {
    // Text and binary messages carry the same JSON.
    auto object = json::parseObject(message.view());
    if (!object) return true;
    if (auto acknowledgement = NativeAudioControlAcknowledgement::fromJSON(*object);
        acknowledgement && acknowledgement->type == kEndAcknowledgementType) {
        if (auto stream = audioStream()) stream->acknowledgeEnd(acknowledgement->operationID);
        return isCurrentReceive(token, socket);
    }
    auto event = CoreEvent::fromJSON(*object);
    if (!event || !acceptsEvent(*event)) return true;
    lastEventSequence_ = event->sequence;
    if (!ready_) {
        ready_ = true;
        if (onConnectionChange) onConnectionChange(true);
        if (!isCurrentReceive(token, socket)) return false;
    }
    if (onEvent) onEvent(*event);
    return isCurrentReceive(token, socket);
}

bool CoreEventSocket::acceptsEvent(const CoreEvent& event) const {
    return event.protocolVersion == kProtocolVersion && lastEventSequence_ < event.sequence &&
           (event.qos == "reliable" || event.qos == "conflated");
}

void CoreEventSocket::startSendingIfNeeded() {
    if (!socket_ || sending_ || queue_->empty()) return;
    sending_ = true;
    sendNext(++sendToken_, socket_, generation_);
}

void CoreEventSocket::sendNext(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket,
                               std::uint64_t generation) {
    if (token != sendToken_) return;
    if (!socket || socket != socket_ || generation != generation_ || queue_->empty()) {
        sending_ = false;
        return;
    }
    // The item stays queued while it is being sent; it leaves the queue only
    // once the write has completed.
    const auto& item = queue_->front();
    const auto itemID = item.id;
    const auto drainDelay = item.drainDelay;
    socket->send(item.message, [weak = weak_from_this(), loop = &loop_, token, generation, itemID, drainDelay,
                                weakSocket = std::weak_ptr<CoreWebSocket>(socket)](Status status) mutable {
        loop->post([weak, token, generation, itemID, drainDelay, weakSocket, status = std::move(status)]() mutable {
            auto self = weak.lock();
            auto socket = weakSocket.lock();
            if (self) self->onSent(token, socket, generation, itemID, drainDelay, std::move(status));
        });
    });
}

void CoreEventSocket::onSent(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket,
                             std::uint64_t generation, std::uint64_t itemID, Duration drainDelay, Status status) {
    if (token != sendToken_) return;  // the loop was cancelled
    auto keepAlive = shared_from_this();
    if (!status) {
        sending_ = false;
        socketFailed(socket, status.error());
        return;
    }
    // Gone already when a cancel or a failure removed it while it was on the
    // wire: then nothing is subtracted twice and no pause is due.
    if (queue_->remove(itemID) && drainDelay > Duration::zero()) {
        pacingTimer_ = loop_.after(drainDelay, [weak = weak_from_this(), token, generation,
                                                weakSocket = std::weak_ptr<CoreWebSocket>(socket)] {
            auto self = weak.lock();
            auto socket = weakSocket.lock();
            if (self) self->sendNext(token, socket, generation);
        });
        return;
    }
    sendNext(token, socket, generation);
}

}  // namespace murmo
