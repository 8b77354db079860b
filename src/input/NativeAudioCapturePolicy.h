#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/Clock.h"

namespace murmo {

enum class NativeAudioCaptureMode {
    raw,             // plain input node
    voiceProcessed,  // the input node runs with the platform's voice processing on
};

// "raw" or "voiceProcessed".
std::string_view rawValue(NativeAudioCaptureMode mode);
std::optional<NativeAudioCaptureMode> nativeAudioCaptureMode(std::string_view rawValue);

// Voice processing only helps, and only behaves, with the Mac's own microphone
// and speakers and no device chosen by the user.
NativeAudioCaptureMode preferredNativeAudioCaptureMode(bool noiseReductionEnabled, bool inputIsBuiltin,
                                                       bool outputIsBuiltin, bool hasExplicitInputDevice);

// Whether one capture run still receives audio.
struct NativeAudioCaptureLiveness {
    enum class Failure { noAudioBuffers, audioInterrupted };

    // The first buffer may take this long to arrive...
    static constexpr Duration kFirstBufferTimeout = std::chrono::seconds(3);
    // ...and later gaps may last just under this.
    static constexpr Duration kBufferGapTimeout = std::chrono::seconds(5);

    std::string generation;
    MonotonicTime startedAt;
    std::optional<MonotonicTime> lastBufferAt;
    std::int64_t bufferCount = 0;

    NativeAudioCaptureLiveness(std::string generation, MonotonicTime now)
        : generation(std::move(generation)), startedAt(now) {}

    // Counts a buffer of this run that carried audio; anything else is ignored.
    void receivedBuffer(std::string_view bufferGeneration, std::int64_t frames, MonotonicTime now);
    std::optional<Failure> failure(MonotonicTime now) const;

    bool operator==(const NativeAudioCaptureLiveness&) const = default;
};

}  // namespace murmo
