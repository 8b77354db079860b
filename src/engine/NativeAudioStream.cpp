#include "engine/NativeAudioStream.h"

#include "runtime/JsonRead.h"

namespace murmo {

namespace {
constexpr std::string_view kBeginType = "native_audio_begin";
constexpr std::string_view kEndType = "native_audio_end";
constexpr std::string_view kCancelType = "native_audio_cancel";
}  // namespace

std::shared_ptr<NativeAudioStream> NativeAudioStream::create(Dependencies dependencies) {
    return std::shared_ptr<NativeAudioStream>(new NativeAudioStream(std::move(dependencies)));
}

NativeAudioStream::NativeAudioStream(Dependencies dependencies)
    : loop_(dependencies.loop),
      queue_(std::move(dependencies.queue)),
      startSending_(std::move(dependencies.startSending)),
      log_(std::move(dependencies.log)) {}

std::string NativeAudioStream::controlText(std::string_view type, const std::string& operationID,
                                           std::optional<std::int64_t> sampleRate) {
    json::Json body = json::Json::object();
    body["type"] = type;
    body["operation_id"] = operationID;
    if (sampleRate) body["sample_rate"] = *sampleRate;
    auto text = json::dump(body);
    // An identifier that cannot be written as JSON is not sent altered.
    return text ? std::move(*text) : std::string("{}");
}

void NativeAudioStream::begin(const std::string& operationID, std::int64_t sampleRate) {
    auto keepAlive = shared_from_this();
    endTimer_.cancel();
    // A stream that was still closing can never be acknowledged now: its
    // waiting ends are failed rather than left hanging.
    std::vector<EndCompletion> abandoned;
    if (session_ && session_->closing) abandoned = takeCompletions(session_->operationID);
    session_ = NativeAudioSocketSession{operationID, sampleRate, false};
    failureReported_ = false;
    enqueueControl(SocketSendKind::nativeAudioBegin, kBeginType, operationID, sampleRate);
    complete(std::move(abandoned), fail(nativeAudioTransportError(NativeAudioTransportReason::cancelled)));
}

void NativeAudioStream::send(std::vector<std::uint8_t> chunk) {
    if (chunk.empty() || !session_ || session_->closing) return;
    const auto length = static_cast<std::int64_t>(chunk.size());
    if (!NativeAudioTransportPolicy::acceptsAudio(queue_->queuedAudioBytes(), length)) {
        // The stream stays open; later chunks are tried against the cap again.
        report(session_->operationID, NativeAudioTransportReason::sendQueueOverflow);
        return;
    }
    SocketSendItem item;
    item.message = CoreSocketMessage::binary(std::move(chunk));
    item.operationID = session_->operationID;
    item.kind = SocketSendKind::nativeAudioData;
    item.audioByteCount = length;
    item.drainDelay = NativeAudioTransportPolicy::catchUpDelay(length, session_->sampleRate);
    queue_->enqueue(std::move(item));
    if (startSending_) startSending_();
}

void NativeAudioStream::end(const std::string& operationID, bool cancelled, EndCompletion completion) {
    auto keepAlive = shared_from_this();
    if (!session_ || session_->operationID != operationID) {
        if (completion) completion(fail(nativeAudioTransportError(NativeAudioTransportReason::sessionMissing)));
        return;
    }
    if (cancelled) return cancel(operationID, std::move(completion));
    session_->closing = true;
    if (completion) endCompletions_[operationID].push_back(std::move(completion));
    // At most one end of an operation is ever queued.
    queue_->removeItems(operationID, SocketSendKind::nativeAudioEnd);
    enqueueControl(SocketSendKind::nativeAudioEnd, kEndType, operationID);
    armEndTimeout(operationID, session_->sampleRate);
}

void NativeAudioStream::cancel(const std::string& operationID, EndCompletion completion) {
    queue_->removeItems(operationID);
    session_.reset();
    endTimer_.cancel();
    auto waiting = takeCompletions(operationID);
    // Queued even when the begin never left: the engine may see a cancel for
    // an operation it never saw begin.
    enqueueControl(SocketSendKind::nativeAudioCancel, kCancelType, operationID);
    complete(std::move(waiting), fail(nativeAudioTransportError(NativeAudioTransportReason::cancelled)));
    if (completion) completion(Status{});
}

void NativeAudioStream::enqueueControl(SocketSendKind kind, std::string_view type, const std::string& operationID,
                                       std::optional<std::int64_t> sampleRate) {
    SocketSendItem item;
    item.message = CoreSocketMessage::text(controlText(type, operationID, sampleRate));
    item.operationID = operationID;
    item.kind = kind;
    queue_->enqueue(std::move(item));
    if (startSending_) startSending_();
}

void NativeAudioStream::armEndTimeout(const std::string& operationID, std::int64_t sampleRate) {
    // Taken from the whole queue, every operation's audio included.
    const auto timeout = NativeAudioTransportPolicy::endAcknowledgementTimeout(queue_->queuedAudioBytes(), sampleRate);
    endTimer_ = loop_.after(timeout, [weak = weak_from_this(), operationID] {
        if (auto self = weak.lock()) self->onEndTimeout(operationID);
    });
}

void NativeAudioStream::onEndTimeout(const std::string& operationID) {
    if (!session_ || session_->operationID != operationID || !session_->closing) return;
    auto keepAlive = shared_from_this();
    queue_->removeItems(operationID);
    session_.reset();
    endTimer_.cancel();
    auto waiting = takeCompletions(operationID);
    report(operationID, NativeAudioTransportReason::endAckTimeout);
    complete(std::move(waiting), fail(nativeAudioTransportError(NativeAudioTransportReason::endAckTimeout)));
}

void NativeAudioStream::acknowledgeEnd(const std::string& operationID) {
    if (!session_ || session_->operationID != operationID || !session_->closing) return;
    auto keepAlive = shared_from_this();
    endTimer_.cancel();
    queue_->removeItems(operationID);
    session_.reset();
    complete(takeCompletions(operationID), Status{});
}

void NativeAudioStream::failActiveStream(NativeAudioTransportReason reason) {
    if (!session_) return;
    auto keepAlive = shared_from_this();
    const auto operationID = session_->operationID;
    queue_->removeItems(operationID);
    session_.reset();
    endTimer_.cancel();
    // Taken before the report, so that ends registered from inside it for a
    // new stream are not failed with this one.
    auto waiting = takeCompletions(operationID);
    report(operationID, reason);
    complete(std::move(waiting), fail(nativeAudioTransportError(reason)));
}

void NativeAudioStream::settleEverything(NativeAudioTransportReason reason) {
    auto keepAlive = shared_from_this();
    failActiveStream(reason);
    auto everyone = std::exchange(endCompletions_, {});
    for (auto& [operationID, completions] : everyone) {
        complete(std::move(completions), fail(nativeAudioTransportError(reason)));
    }
}

void NativeAudioStream::report(const std::string& operationID, NativeAudioTransportReason reason) {
    if (failureReported_) return;
    failureReported_ = true;
    log_.fault("Native audio transport failed operation={} reason={} queued_bytes={}", logHashed(operationID),
               logPublic(rawValue(reason)), logPublic(queue_->queuedAudioBytes()));
    if (onNativeAudioTransportFailure) onNativeAudioTransportFailure(operationID, std::string(rawValue(reason)));
}

std::vector<NativeAudioStream::EndCompletion> NativeAudioStream::takeCompletions(const std::string& operationID) {
    auto found = endCompletions_.find(operationID);
    if (found == endCompletions_.end()) return {};
    auto completions = std::move(found->second);
    endCompletions_.erase(found);
    return completions;
}

void NativeAudioStream::complete(std::vector<EndCompletion> completions, const Status& result) {
    for (auto& completion : completions) {
        if (completion) completion(result);
    }
}

}  // namespace murmo
