#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/CoreEventSocket.h"
#include "engine/CoreSocketSendQueue.h"
#include "engine/NativeAudioTransportPolicy.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"

namespace murmo {

// The one open audio stream.
struct NativeAudioSocketSession {
    std::string operationID;
    std::int64_t sampleRate = 0;
    // An end has been queued: no more audio, waiting for the acknowledgement.
    bool closing = false;
};

// Streams microphone audio to the engine over the event socket: a begin
// frame naming the operation and sample rate, binary audio frames, then an
// end (answered by the engine's acknowledgement) or a cancel. At most one
// stream is open; a stream reports at most one failure to the owner. Main
// thread only; completions and reports run synchronously inside the call that
// settles them.
class NativeAudioStream final : public CoreEventSocket::AudioStreamHooks,
                                public std::enable_shared_from_this<NativeAudioStream> {
public:
    using EndCompletion = std::function<void(Status)>;
    using FailureHandler = std::function<void(const std::string& operationID, const std::string& reason)>;

    struct Dependencies {
        MainLoop& loop;
        std::shared_ptr<CoreSocketSendQueue> queue;
        // Called after a frame is queued, to start the socket's send loop.
        std::function<void()> startSending;
        Logger log;
    };

    static std::shared_ptr<NativeAudioStream> create(Dependencies dependencies);

    FailureHandler onNativeAudioTransportFailure;

    void begin(const std::string& operationID, std::int64_t sampleRate);
    // One chunk of mono 32-bit float samples for the open stream.
    void send(std::vector<std::uint8_t> chunk);
    void end(const std::string& operationID, bool cancelled, EndCompletion completion);

    bool hasOpenSession() const override { return session_.has_value(); }
    void failActiveStream(NativeAudioTransportReason reason) override;
    void settleEverything(NativeAudioTransportReason reason) override;
    void acknowledgeEnd(const std::string& operationID) override;

    const std::optional<NativeAudioSocketSession>& session() const { return session_; }
    bool failureReported() const { return failureReported_; }
    bool endTimerArmed() const { return endTimer_.armed(); }

    // The control frame's text: "type", "operation_id" and, for a begin,
    // "sample_rate".
    static std::string controlText(std::string_view type, const std::string& operationID,
                                   std::optional<std::int64_t> sampleRate);

private:
    explicit NativeAudioStream(Dependencies dependencies);

    void cancel(const std::string& operationID, EndCompletion completion);
    void enqueueControl(SocketSendKind kind, std::string_view type, const std::string& operationID,
                        std::optional<std::int64_t> sampleRate = std::nullopt);
    void armEndTimeout(const std::string& operationID, std::int64_t sampleRate);
    void onEndTimeout(const std::string& operationID);
    void report(const std::string& operationID, NativeAudioTransportReason reason);
    // Removes and returns the operation's waiting end completions.
    std::vector<EndCompletion> takeCompletions(const std::string& operationID);
    static void complete(std::vector<EndCompletion> completions, const Status& result);

    MainLoop& loop_;
    std::shared_ptr<CoreSocketSendQueue> queue_;
    std::function<void()> startSending_;
    Logger log_;

    std::optional<NativeAudioSocketSession> session_;
    bool failureReported_ = false;
    std::map<std::string, std::vector<EndCompletion>, std::less<>> endCompletions_;
    Timer endTimer_;
};

}  // namespace murmo
