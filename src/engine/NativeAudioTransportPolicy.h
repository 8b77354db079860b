#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/Clock.h"
#include "runtime/Error.h"

namespace murmo {

// Why an audio stream to the engine failed or was refused. The raw value is
// both the reason reported to the owner and the transport error's message.
enum class NativeAudioTransportReason {
    socketReplaced,
    socketInterrupted,
    transportDisconnected,
    sendQueueOverflow,
    endAckTimeout,
    sessionMissing,
    cancelled,
};

std::string_view rawValue(NativeAudioTransportReason reason);

inline constexpr std::string_view kNativeAudioTransportErrorDomain = "MurmoNativeAudioTransport";

// Domain "MurmoNativeAudioTransport", code 1, the reason as message and
// reason.
Error nativeAudioTransportError(NativeAudioTransportReason reason);

// Limits and pacing of the audio stream, as pure functions.
namespace NativeAudioTransportPolicy {

inline constexpr std::int64_t maximumQueuedAudioBytes = 16'777'216;
inline constexpr Duration reconnectDelay = std::chrono::milliseconds(500);
inline constexpr double maximumCatchUpRate = 2.0;
inline constexpr Duration minimumEndAcknowledgementTimeout = std::chrono::seconds(8);
inline constexpr Duration maximumEndAcknowledgementTimeout = std::chrono::seconds(60);

enum class SocketFailureDisposition { failClosedNativeSession, reconnectIdle };

SocketFailureDisposition socketFailureDisposition(bool hasActiveNativeSession);
// The queue may reach exactly the cap.
bool acceptsAudio(std::int64_t queuedAudioBytes, std::int64_t nextAudioBytes);
// How much audio the cap holds at this rate.
Duration bufferedAudio(std::int64_t sampleRate);
// The pause after sending a frame: its duration over the catch-up rate, so a
// backlog drains at no more than twice real time.
Duration catchUpDelay(std::int64_t audioBytes, std::int64_t sampleRate);
// Time to drain what is queued at the catch-up rate, plus 5 s, within
// [8, 60] s.
Duration endAcknowledgementTimeout(std::int64_t queuedAudioBytes, std::int64_t sampleRate);

}  // namespace NativeAudioTransportPolicy

}  // namespace murmo
