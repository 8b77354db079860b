#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CoreEventSocket.h"
#include "engine/CoreSocketSendQueue.h"
#include "engine/CoreTransport.h"
#include "engine/CoreWireTypes.h"
#include "engine/NativeAudioStream.h"
#include "engine/ReplySignal.h"
#include "input/NativeAudioRoute.h"
#include "input/ShortcutSpecPayload.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"
#include "runtime/URL.h"

namespace murmo {

struct MurmoCoreClientDependencies {
    MainLoop& loop;
    std::shared_ptr<CoreTransport> transport;
    // Null: standard error.
    std::shared_ptr<LogSink> logSink;
    // What the synchronous cancel waits on; null: a ThreadReplySignal.
    ReplySignalFactory makeReplySignal = {};
};

// The application's one client of the engine: its HTTP endpoints, the event
// socket and native audio streaming. Main thread only. Every completion runs
// on the main thread after the call that started it has returned (except the
// shortcut-capture encoding failure, which is immediate), and typed replies
// are decoded there.
class MurmoCoreClient final : public std::enable_shared_from_this<MurmoCoreClient> {
public:
    static constexpr std::string_view kDesktopTokenHeader = murmo::kDesktopTokenHeader;
    static constexpr std::string_view kErrorDomain = "MurmoCore";
    static constexpr std::string_view kSource = "native_hotkey";
    static constexpr Duration kRequestTimeout = std::chrono::seconds(60);
    static constexpr std::string_view kShortcutCaptureErrorDomain = "MurmoShortcutCapture";

    using BodyCompletion = std::function<void(Result<std::string>)>;
    using CommandCompletion = std::function<void(Result<DictationCommandResponse>)>;
    using ObjectCompletion = std::function<void(Result<JSONValue::Object>)>;
    using VoidCompletion = std::function<void(Status)>;
    using SettingsCompletion = std::function<void(Result<ShortcutSettingsResponse>)>;
    using EndCompletion = NativeAudioStream::EndCompletion;

    static std::shared_ptr<MurmoCoreClient> create(std::string baseURL, std::string desktopToken,
                                                   MurmoCoreClientDependencies dependencies);
    ~MurmoCoreClient();
    MurmoCoreClient(const MurmoCoreClient&) = delete;
    MurmoCoreClient& operator=(const MurmoCoreClient&) = delete;

    // Set by the owner; an unset one is skipped.
    std::function<void(const CoreEvent&)> onEvent;
    std::function<void(bool)> onConnectionChange;
    std::function<void(const std::string& operationID, const std::string& reason)> onNativeAudioTransportFailure;

    const std::string& baseURL() const { return baseURLText_; }

    // Dictation and agent operations.
    void createDictation(const std::string& operationID, MonotonicTime clientTime,
                         std::optional<std::string> targetAppID, std::optional<std::string> targetAppName,
                         std::optional<std::string> audioSource, std::optional<std::int64_t> audioSampleRate,
                         CommandCompletion completion);
    void createAgentOperation(const std::string& operationID, MonotonicTime clientTime,
                              std::optional<std::string> audioSource, std::optional<std::int64_t> audioSampleRate,
                              CommandCompletion completion);
    void createPendingAgentOperation(const std::string& operationID, MonotonicTime clientTime,
                                     std::optional<std::string> targetAppID, std::optional<std::string> targetAppName,
                                     std::optional<std::string> audioSource,
                                     std::optional<std::int64_t> audioSampleRate, CommandCompletion completion);
    void resolveAgentOperationMode(const std::string& operationID, const std::string& mode,
                                   CommandCompletion completion);
    void releaseDictation(const std::string& operationID, MonotonicTime clientTime, CommandCompletion completion);
    void releaseAgentOperation(const std::string& operationID, MonotonicTime clientTime, CommandCompletion completion);
    void fetchAgentOperation(const std::string& operationID, ObjectCompletion completion);
    void cancelAgentOperation(const std::string& operationID, VoidCompletion completion = {});
    void confirmAgentOperation(const std::string& operationID, const std::string& token, ObjectCompletion completion);
    void cancelDictation(const std::string& operationID, VoidCompletion completion = {});
    // Blocks the calling thread until the engine answered or `timeout`
    // passed since the request started. The reply is not looked at; a
    // request still running afterwards is left to finish on its own.
    void cancelDictationSynchronously(const std::string& operationID, Duration timeout);
    // The reply is ignored; nothing is sent when the payload cannot be
    // encoded.
    void reportDeliveryResult(const std::string& operationID, const DeliveryResultPayload& payload);
    // Sends an object with the single key "reason" when a reason is given, and
    // no body at all when it is absent.
    void cancelShortcutCapture(const std::string& captureID, std::optional<std::string> reason,
                               VoidCompletion completion = {});
    void fetchShortcutSettings(SettingsCompletion completion);
    // The reply is ignored.
    void reportAudioRoute(const NativeAudioRoute& route);
    // A shortcut that cannot be encoded fails at once, before this returns:
    // domain "MurmoShortcutCapture", code 2.
    void completeShortcutCapture(const std::string& captureID, const ShortcutSpecPayload& shortcut,
                                 VoidCompletion completion);
    void pauseRuntime();
    void resumeRuntime();

    // The event socket.
    void connect();
    void disconnect();

    // Native audio streaming.
    void beginNativeAudio(const std::string& operationID, std::int64_t sampleRate);
    void sendNativeAudio(std::vector<std::uint8_t> chunk);
    void endNativeAudio(const std::string& operationID, bool cancelled, EndCompletion completion = {});

    // How a transport reply becomes a body or an error: transport errors
    // unchanged; a status outside 200...299 an error in "MurmoCore" whose code
    // is the status and whose message is the body (if valid UTF-8) or
    // "HTTP <status>"; else the body, "{}" when none was delivered at all.
    static Result<std::string> classifyReply(Result<CoreHTTPResponse> reply);

    const CoreEventSocket& eventSocket() const { return *socket_; }
    const NativeAudioStream& audioStream() const { return *audio_; }
    const CoreSocketSendQueue& sendQueue() const { return *queue_; }

private:
    MurmoCoreClient(std::string baseURL, std::string desktopToken, MurmoCoreClientDependencies dependencies);
    void wireComponents();

    std::optional<CoreHTTPRequest> buildRequest(const URLPath& path, std::string_view method,
                                                const std::optional<json::Json>& body) const;
    void request(const URLPath& path, std::string_view method, std::optional<json::Json> body,
                 BodyCompletion completion);
    void postCommand(const URLPath& path, json::Json body, CommandCompletion completion);
    void postVoid(const URLPath& path, std::optional<json::Json> body, VoidCompletion completion);
    void getObject(const URLPath& path, ObjectCompletion completion);
    void deliverLater(BodyCompletion completion, Result<std::string> result);

    std::string baseURLText_;
    std::optional<URL> baseURL_;
    std::string desktopToken_;
    MainLoop& loop_;
    // Declared first: the socket components hold sockets of this transport.
    std::shared_ptr<CoreTransport> transport_;
    ReplySignalFactory makeReplySignal_;
    Logger transportLog_;
    std::shared_ptr<CoreSocketSendQueue> queue_;
    std::shared_ptr<CoreEventSocket> socket_;
    std::shared_ptr<NativeAudioStream> audio_;
};

}  // namespace murmo
