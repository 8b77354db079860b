#include "engine/NativeAudioTransportPolicy.h"

#include <algorithm>

namespace murmo {

namespace {
// Mono 32-bit float samples.
constexpr double kBytesPerSample = 4.0;

double secondsOfAudio(std::int64_t bytes, std::int64_t sampleRate) {
    return static_cast<double>(bytes) / (static_cast<double>(sampleRate) * kBytesPerSample);
}
}  // namespace

std::string_view rawValue(NativeAudioTransportReason reason) {
    switch (reason) {
        case NativeAudioTransportReason::socketReplaced: return "native_audio_socket_replaced";
        case NativeAudioTransportReason::socketInterrupted: return "native_audio_socket_interrupted";
        case NativeAudioTransportReason::transportDisconnected: return "native_audio_transport_disconnected";
        case NativeAudioTransportReason::sendQueueOverflow: return "native_audio_send_queue_overflow";
        case NativeAudioTransportReason::endAckTimeout: return "native_audio_end_ack_timeout";
        case NativeAudioTransportReason::sessionMissing: return "native_audio_session_missing";
        case NativeAudioTransportReason::cancelled: return "native_audio_cancelled";
    }
    return "native_audio_transport_disconnected";
}

Error nativeAudioTransportError(NativeAudioTransportReason reason) {
    const std::string text(rawValue(reason));
    return Error(std::string(kNativeAudioTransportErrorDomain), 1, text, text);
}

namespace NativeAudioTransportPolicy {

SocketFailureDisposition socketFailureDisposition(bool hasActiveNativeSession) {
    return hasActiveNativeSession ? SocketFailureDisposition::failClosedNativeSession
                                  : SocketFailureDisposition::reconnectIdle;
}

bool acceptsAudio(std::int64_t queuedAudioBytes, std::int64_t nextAudioBytes) {
    return queuedAudioBytes >= 0 && nextAudioBytes > 0 &&
           queuedAudioBytes <= maximumQueuedAudioBytes - nextAudioBytes;
}

double bufferedSeconds(std::int64_t sampleRate) {
    if (sampleRate <= 0) return 0;
    return secondsOfAudio(maximumQueuedAudioBytes, sampleRate);
}

double catchUpDelaySeconds(std::int64_t audioBytes, std::int64_t sampleRate) {
    if (audioBytes <= 0 || sampleRate <= 0) return 0;
    return secondsOfAudio(audioBytes, sampleRate) / maximumCatchUpRate;
}

double endAcknowledgementTimeoutSeconds(std::int64_t queuedAudioBytes, std::int64_t sampleRate) {
    if (sampleRate <= 0) return minimumEndAcknowledgementTimeoutSeconds;
    // Draining the backlog, then 2 s for the engine to finish and 3 s for
    // the acknowledgement to come back.
    const double drain = secondsOfAudio(std::max<std::int64_t>(queuedAudioBytes, 0), sampleRate) / maximumCatchUpRate;
    const double total = drain + 2.0 + 3.0;
    return std::min(std::max(total, minimumEndAcknowledgementTimeoutSeconds), maximumEndAcknowledgementTimeoutSeconds);
}

}  // namespace NativeAudioTransportPolicy

}  // namespace murmo
