#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/CoreSocketSendQueue.h"
#include "engine/CoreTransport.h"
#include "engine/CoreWireTypes.h"
#include "engine/NativeAudioTransportPolicy.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"

namespace murmo {

// The one WebSocket to the engine at "ws/events": engine events come in,
// native audio and its control frames go out through the shared send queue.
// It reconnects every 0.5 s while it is wanted. Main thread only.
//
// Every call into the owner (events, connection changes, the audio stream's
// reports and completions) may connect or disconnect from inside; after each
// one the socket re-checks that it still acts on the current socket and
// generation before it goes on.
class CoreEventSocket final : public std::enable_shared_from_this<CoreEventSocket> {
public:
    static constexpr std::string_view kEventsPath = "ws/events";
    static constexpr std::uint16_t kGoingAwayCloseCode = 1001;
    static constexpr std::int64_t kProtocolVersion = 1;

    // What the socket needs of the audio stream that shares it.
    class AudioStreamHooks {
    public:
        virtual ~AudioStreamHooks() = default;
        virtual bool hasOpenSession() const = 0;
        // Fails the open stream, reporting `reason` once; no cancel frame.
        virtual void failActiveStream(NativeAudioTransportReason reason) = 0;
        // Fails the open stream and every end still waiting, of any operation.
        virtual void settleEverything(NativeAudioTransportReason reason) = 0;
        virtual void acknowledgeEnd(const std::string& operationID) = 0;
    };

    struct Dependencies {
        MainLoop& loop;
        std::shared_ptr<CoreTransport> transport;
        std::shared_ptr<CoreSocketSendQueue> queue;
        Logger log;
    };

    // `baseURL` may be unusable; then connect() opens nothing.
    static std::shared_ptr<CoreEventSocket> create(std::optional<URL> baseURL, std::string desktopToken,
                                                   Dependencies dependencies);

    // Closes a current socket; no callback runs.
    ~CoreEventSocket();

    void setAudioStream(std::weak_ptr<AudioStreamHooks> audioStream) { audioStream_ = std::move(audioStream); }

    std::function<void(const CoreEvent&)> onEvent;
    std::function<void(bool)> onConnectionChange;

    // Wants the socket and opens it, replacing a current one.
    void connect();
    // Closes the socket for good until the next connect().
    void disconnect();
    // Starts the send loop when a socket is current and frames wait.
    void startSendingIfNeeded();

    // The socket URL and upgrade request for a base URL: "ws/events" appended,
    // "wss" for an "https" base, else "ws".
    static std::optional<CoreWebSocketRequest> socketRequest(const std::optional<URL>& baseURL,
                                                             const std::string& desktopToken);

    bool hasSocket() const { return socket_ != nullptr; }
    bool shouldReconnect() const { return shouldReconnect_; }
    bool isReady() const { return ready_; }
    bool reconnectPending() const { return reconnectTimer_.armed(); }
    std::int64_t lastEventSequence() const { return lastEventSequence_; }
    std::uint64_t generation() const { return generation_; }

private:
    CoreEventSocket(std::optional<URL> baseURL, std::string desktopToken, Dependencies dependencies);

    void openSocket();
    void socketFailed(const std::shared_ptr<CoreWebSocket>& socket, const Error& error);
    void scheduleReconnect();
    void cancelLoops();

    void receiveNext(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket);
    void onReceived(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket,
                    Result<CoreSocketMessage> message);
    // False when the socket or its loop stopped being current meanwhile.
    bool handleMessage(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket,
                       const CoreSocketMessage& message);
    bool acceptsEvent(const CoreEvent& event) const;
    bool isCurrentReceive(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket) const;

    void sendNext(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket, std::uint64_t generation);
    void onSent(std::uint64_t token, const std::shared_ptr<CoreWebSocket>& socket, std::uint64_t generation,
                std::uint64_t itemID, Duration drainDelay, Status status);

    std::shared_ptr<AudioStreamHooks> audioStream() const { return audioStream_.lock(); }

    std::optional<URL> baseURL_;
    std::string desktopToken_;
    MainLoop& loop_;
    std::shared_ptr<CoreTransport> transport_;
    std::shared_ptr<CoreSocketSendQueue> queue_;
    Logger log_;
    std::weak_ptr<AudioStreamHooks> audioStream_;

    std::shared_ptr<CoreWebSocket> socket_;
    bool shouldReconnect_ = false;
    bool ready_ = false;
    std::int64_t lastEventSequence_ = 0;
    // Identifies the current socket; moves on at every open, failure and
    // disconnect, never back.
    std::uint64_t generation_ = 0;
    Timer reconnectTimer_;
    // A loop acts only while its token is the current one; cancelling a loop
    // moves the token on.
    std::uint64_t receiveToken_ = 0;
    std::uint64_t sendToken_ = 0;
    bool sending_ = false;
    Timer pacingTimer_;
};

}  // namespace murmo
