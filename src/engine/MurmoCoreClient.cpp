#include "engine/MurmoCoreClient.h"

#include <algorithm>

#include "engine/ThreadReplySignal.h"
#include "runtime/JsonRead.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

constexpr std::string_view kPost = "POST";
constexpr std::string_view kGet = "GET";
constexpr std::string_view kDelete = "DELETE";

URLPath dictationPath(const std::string& operationID, std::string_view action = {}) {
    auto path = URLPath::literal("api/v1/dictations");
    path.segment(operationID);
    if (!action.empty()) path.literalSegments(action);
    return path;
}

URLPath agentOperationPath(const std::string& operationID, std::string_view action = {}) {
    auto path = URLPath::literal("api/v1/agent/operations");
    path.segment(operationID);
    if (!action.empty()) path.literalSegments(action);
    return path;
}

template <class Decoded>
std::function<void(Result<std::string>)> decodingWith(std::function<void(Result<Decoded>)> completion,
                                                      Result<Decoded> (*decode)(std::string_view)) {
    return [completion = std::move(completion), decode](Result<std::string> body) {
        if (!completion) return;
        if (!body) return completion(fail(body.error()));
        completion(decode(*body));
    };
}

Result<DictationCommandResponse> decodeCommand(std::string_view text) { return DictationCommandResponse::decode(text); }
Result<JSONValue::Object> decodeObject(std::string_view text) { return JSONValue::decodeObject(text); }
Result<ShortcutSettingsResponse> decodeSettings(std::string_view text) {
    return ShortcutSettingsResponse::decode(text);
}

URLPath shortcutCapturePath(const std::string& captureID, std::string_view action) {
    auto path = URLPath::literal("api/v1/shortcut-captures");
    path.segment(captureID).literalSegments(action);
    return path;
}

}  // namespace

std::shared_ptr<MurmoCoreClient> MurmoCoreClient::create(std::string baseURL, std::string desktopToken,
                                                         MurmoCoreClientDependencies dependencies) {
    auto client = std::shared_ptr<MurmoCoreClient>(
        new MurmoCoreClient(std::move(baseURL), std::move(desktopToken), std::move(dependencies)));
    client->wireComponents();
    return client;
}

MurmoCoreClient::MurmoCoreClient(std::string baseURL, std::string desktopToken,
                                 MurmoCoreClientDependencies dependencies)
    : baseURLText_(std::move(baseURL)),
      baseURL_(URL::parseServer(baseURLText_)),
      desktopToken_(std::move(desktopToken)),
      loop_(dependencies.loop),
      transport_(std::move(dependencies.transport)),
      makeReplySignal_(dependencies.makeReplySignal ? std::move(dependencies.makeReplySignal) : ReplySignalFactory([] {
          return std::make_shared<ThreadReplySignal>();
      })),
      transportLog_("native-audio-transport", std::move(dependencies.logSink)),
      queue_(std::make_shared<CoreSocketSendQueue>()) {}

MurmoCoreClient::~MurmoCoreClient() = default;

void MurmoCoreClient::wireComponents() {
    socket_ = CoreEventSocket::create(baseURL_, desktopToken_,
                                      CoreEventSocket::Dependencies{loop_, transport_, queue_, transportLog_});
    audio_ = NativeAudioStream::create(
        NativeAudioStream::Dependencies{loop_, queue_,
                                        [weakSocket = std::weak_ptr<CoreEventSocket>(socket_)] {
                                            if (auto socket = weakSocket.lock()) socket->startSendingIfNeeded();
                                        },
                                        transportLog_});
    socket_->setAudioStream(audio_);
    // The owner's callbacks are read when they fire, so it may set them at
    // any time.
    auto weak = weak_from_this();
    socket_->onEvent = [weak](const CoreEvent& event) {
        if (auto self = weak.lock(); self && self->onEvent) self->onEvent(event);
    };
    socket_->onConnectionChange = [weak](bool connected) {
        if (auto self = weak.lock(); self && self->onConnectionChange) self->onConnectionChange(connected);
    };
    audio_->onNativeAudioTransportFailure = [weak](const std::string& operationID, const std::string& reason) {
        if (auto self = weak.lock(); self && self->onNativeAudioTransportFailure) {
            self->onNativeAudioTransportFailure(operationID, reason);
        }
    };
}

// Requests

std::optional<CoreHTTPRequest> MurmoCoreClient::buildRequest(const URLPath& path, std::string_view method,
                                                             const std::optional<json::Json>& body) const {
    if (!baseURL_) return std::nullopt;
    CoreHTTPRequest request;
    request.url = baseURL_->appending(path);
    request.method = std::string(method);
    // On every request, whatever its method and whether it has a body.
    request.headers.emplace_back("Content-Type", "application/json");
    request.headers.emplace_back(std::string(kDesktopTokenHeader), desktopToken_);
    request.idleTimeout = kRequestTimeout;
    if (body) {
        // A body that cannot be written as JSON is left off rather than sent
        // altered; the engine's reply then decides.
        if (auto text = json::dump(*body)) request.body = std::move(*text);
    }
    return request;
}

void MurmoCoreClient::request(const URLPath& path, std::string_view method, std::optional<json::Json> body,
                              BodyCompletion completion) {
    auto built = buildRequest(path, method, body);
    if (!built) return deliverLater(std::move(completion), fail(coreTransportError(CoreTransportErrorCode::badURL)));
    // Classified on the transport's thread; delivered, and decoded, on the
    // main thread.
    transport_->sendHTTP(std::move(*built),
                         [loop = &loop_, completion = std::move(completion)](Result<CoreHTTPResponse> reply) mutable {
                             auto result = classifyReply(std::move(reply));
                             loop->post([completion = std::move(completion), result = std::move(result)]() mutable {
                                 if (completion) completion(std::move(result));
                             });
                         });
}

void MurmoCoreClient::deliverLater(BodyCompletion completion, Result<std::string> result) {
    loop_.post([completion = std::move(completion), result = std::move(result)]() mutable {
        if (completion) completion(std::move(result));
    });
}

Result<std::string> MurmoCoreClient::classifyReply(Result<CoreHTTPResponse> reply) {
    if (!reply) return fail(reply.error());
    const int status = reply->status;
    if (status < 200 || status > 299) {
        const bool readable = reply->body && unicode::isValidUTF8(*reply->body);
        auto message = readable ? *reply->body : "HTTP " + std::to_string(status);
        return fail(std::string(kErrorDomain), status, std::move(message));
    }
    if (!reply->body) return std::string("{}");
    return std::move(*reply->body);
}

void MurmoCoreClient::postCommand(const URLPath& path, json::Json body, CommandCompletion completion) {
    request(path, kPost, std::move(body), decodingWith<DictationCommandResponse>(std::move(completion), decodeCommand));
}

void MurmoCoreClient::postVoid(const URLPath& path, std::optional<json::Json> body, VoidCompletion completion) {
    request(path, kPost, std::move(body), [completion = std::move(completion)](Result<std::string> reply) {
        if (!completion) return;
        if (!reply) return completion(fail(reply.error()));
        completion(Status{});
    });
}

void MurmoCoreClient::getObject(const URLPath& path, ObjectCompletion completion) {
    request(path, kGet, std::nullopt, decodingWith<JSONValue::Object>(std::move(completion), decodeObject));
}

// Endpoints

void MurmoCoreClient::createDictation(const std::string& operationID, MonotonicTime clientTime,
                                      std::optional<std::string> targetAppID, std::optional<std::string> targetAppName,
                                      std::optional<std::string> audioSource,
                                      std::optional<std::int64_t> audioSampleRate, CommandCompletion completion) {
    RecordingPayload payload(std::string(kSource), operationID, clientTime, std::move(targetAppID),
                             std::move(targetAppName), std::move(audioSource), audioSampleRate);
    postCommand(URLPath::literal("api/v1/dictations"), payload.requestBody(), std::move(completion));
}

void MurmoCoreClient::createAgentOperation(const std::string& operationID, MonotonicTime clientTime,
                                           std::optional<std::string> audioSource,
                                           std::optional<std::int64_t> audioSampleRate, CommandCompletion completion) {
    RecordingPayload payload(std::string(kSource), operationID, clientTime, std::nullopt, std::nullopt,
                             std::move(audioSource), audioSampleRate);
    postCommand(URLPath::literal("api/v1/agent/operations"), payload.requestBody(), std::move(completion));
}

void MurmoCoreClient::createPendingAgentOperation(const std::string& operationID, MonotonicTime clientTime,
                                                  std::optional<std::string> targetAppID,
                                                  std::optional<std::string> targetAppName,
                                                  std::optional<std::string> audioSource,
                                                  std::optional<std::int64_t> audioSampleRate,
                                                  CommandCompletion completion) {
    RecordingPayload payload(std::string(kSource), operationID, clientTime, std::move(targetAppID),
                             std::move(targetAppName), std::move(audioSource), audioSampleRate);
    postCommand(URLPath::literal("api/v1/agent/pending-operations"), payload.requestBody(), std::move(completion));
}

void MurmoCoreClient::resolveAgentOperationMode(const std::string& operationID, const std::string& mode,
                                                CommandCompletion completion) {
    postCommand(agentOperationPath(operationID, "resolve-mode"), json::Json{{"mode", mode}}, std::move(completion));
}

void MurmoCoreClient::releaseDictation(const std::string& operationID, MonotonicTime clientTime,
                                       CommandCompletion completion) {
    RecordingPayload payload(std::string(kSource), operationID, clientTime);
    postCommand(dictationPath(operationID, "release"), payload.requestBody(), std::move(completion));
}

void MurmoCoreClient::releaseAgentOperation(const std::string& operationID, MonotonicTime clientTime,
                                            CommandCompletion completion) {
    RecordingPayload payload(std::string(kSource), operationID, clientTime);
    postCommand(agentOperationPath(operationID, "release"), payload.requestBody(), std::move(completion));
}

void MurmoCoreClient::fetchAgentOperation(const std::string& operationID, ObjectCompletion completion) {
    getObject(agentOperationPath(operationID), std::move(completion));
}

void MurmoCoreClient::cancelAgentOperation(const std::string& operationID, VoidCompletion completion) {
    request(agentOperationPath(operationID), kDelete, std::nullopt,
            [completion = std::move(completion)](Result<std::string> reply) {
                if (!completion) return;
                if (!reply) return completion(fail(reply.error()));
                completion(Status{});
            });
}

void MurmoCoreClient::confirmAgentOperation(const std::string& operationID, const std::string& token,
                                            ObjectCompletion completion) {
    request(agentOperationPath(operationID, "confirm"), kPost, json::Json{{"token", token}},
            decodingWith<JSONValue::Object>(std::move(completion), decodeObject));
}

void MurmoCoreClient::cancelDictation(const std::string& operationID, VoidCompletion completion) {
    postVoid(dictationPath(operationID, "cancel"), std::nullopt, std::move(completion));
}

void MurmoCoreClient::cancelDictationSynchronously(const std::string& operationID, Duration timeout) {
    auto built = buildRequest(dictationPath(operationID, "cancel"), kPost, std::nullopt);
    if (!built) return;
    // Made before the request starts: the time-out counts from the start.
    auto signal = makeReplySignal_();
    // Raised on the transport's thread, whatever the outcome: the waiting
    // thread is never needed for the reply to arrive.
    transport_->sendHTTP(std::move(*built), [signal](Result<CoreHTTPResponse>) { signal->raise(); });
    // Negative time-outs wait not at all; a day is longer than any caller
    // means and keeps the deadline arithmetic in range.
    constexpr Duration kLongestWait = std::chrono::hours(24);
    signal->waitFor(std::clamp(timeout, Duration::zero(), kLongestWait));
}

void MurmoCoreClient::reportDeliveryResult(const std::string& operationID, const DeliveryResultPayload& payload) {
    auto encoded = payload.encoded();
    if (!encoded) return;
    auto body = json::parseObject(*encoded);
    if (!body) return;
    postVoid(dictationPath(operationID, "delivery-result"), std::move(*body), {});
}

void MurmoCoreClient::fetchShortcutSettings(SettingsCompletion completion) {
    request(URLPath::literal("api/settings"), kGet, std::nullopt,
            decodingWith<ShortcutSettingsResponse>(std::move(completion), decodeSettings));
}

void MurmoCoreClient::reportAudioRoute(const NativeAudioRoute& route) {
    auto encoded = json::dump(route.toJSON());
    if (!encoded) return;
    auto body = json::parseObject(*encoded);
    if (!body) return;
    postVoid(URLPath::literal("api/v1/audio/route"), std::move(*body), {});
}

void MurmoCoreClient::completeShortcutCapture(const std::string& captureID, const ShortcutSpecPayload& shortcut,
                                              VoidCompletion completion) {
    auto encoded = shortcut.encoded();
    auto object = encoded ? json::parseObject(*encoded) : Result<json::Json>(fail(encoded.error()));
    if (!object) {
        if (completion) {
            completion(fail(std::string(kShortcutCaptureErrorDomain), 2, "Shortcut payload could not be encoded."));
        }
        return;
    }
    postVoid(shortcutCapturePath(captureID, "complete"), json::Json{{"shortcut", std::move(*object)}},
             std::move(completion));
}

void MurmoCoreClient::cancelShortcutCapture(const std::string& captureID, std::optional<std::string> reason,
                                            VoidCompletion completion) {
    std::optional<json::Json> body;
    if (reason) body = json::Json{{"reason", *reason}};
    postVoid(shortcutCapturePath(captureID, "cancel"), std::move(body), std::move(completion));
}

void MurmoCoreClient::pauseRuntime() { postVoid(URLPath::literal("api/v1/runtime/pause"), std::nullopt, {}); }

void MurmoCoreClient::resumeRuntime() { postVoid(URLPath::literal("api/v1/runtime/resume"), std::nullopt, {}); }

// Socket and audio

void MurmoCoreClient::connect() { socket_->connect(); }

void MurmoCoreClient::disconnect() { socket_->disconnect(); }

void MurmoCoreClient::beginNativeAudio(const std::string& operationID, std::int64_t sampleRate) {
    audio_->begin(operationID, sampleRate);
}

void MurmoCoreClient::sendNativeAudio(std::vector<std::uint8_t> chunk) { audio_->send(std::move(chunk)); }

void MurmoCoreClient::endNativeAudio(const std::string& operationID, bool cancelled, EndCompletion completion) {
    audio_->end(operationID, cancelled, std::move(completion));
}

}  // namespace murmo
