#include "engine/NativeAudioTransportPolicy.h"

#include <algorithm>

namespace murmo {

namespace {
// Mono 32-bit float samples.
constexpr double kBytesPerSample = 4.0;

Seconds audioLength(std::int64_t bytes, std::int64_t sampleRate) {
    return Seconds(static_cast<double>(bytes) / (static_cast<double>(sampleRate) * kBytesPerSample));
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
    return queuedAudioBytes >= 0 && nextAudioBytes > 0 && queuedAudioBytes <= maximumQueuedAudioBytes - nextAudioBytes;
}

Duration bufferedAudio(std::int64_t sampleRate) {
    if (sampleRate <= 0) return Duration::zero();
    return std::chrono::duration_cast<Duration>(audioLength(maximumQueuedAudioBytes, sampleRate));
}

Duration catchUpDelay(std::int64_t audioBytes, std::int64_t sampleRate) {
    if (audioBytes <= 0 || sampleRate <= 0) return Duration::zero();
    return std::chrono::duration_cast<Duration>(audioLength(audioBytes, sampleRate) / maximumCatchUpRate);
}

Duration endAcknowledgementTimeout(std::int64_t queuedAudioBytes, std::int64_t sampleRate) {
    if (sampleRate <= 0) return minimumEndAcknowledgementTimeout;
    // Draining the backlog, then 2 s for the engine to finish and 3 s for
    // the acknowledgement to come back.
    const Seconds drain = audioLength(std::max<std::int64_t>(queuedAudioBytes, 0), sampleRate) / maximumCatchUpRate;
    const Seconds total = drain + std::chrono::seconds(2) + std::chrono::seconds(3);
    return std::chrono::duration_cast<Duration>(
        std::clamp<Seconds>(total, minimumEndAcknowledgementTimeout, maximumEndAcknowledgementTimeout));
}

}  // namespace NativeAudioTransportPolicy

}  // namespace murmo
