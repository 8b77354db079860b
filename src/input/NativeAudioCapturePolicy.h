#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// Whether one capture run still receives audio. Times are seconds of system
// uptime.
struct NativeAudioCaptureLiveness {
    enum class Failure { noAudioBuffers, audioInterrupted };

    // The first buffer may take this long to arrive...
    static constexpr double kFirstBufferTimeout = 3.0;
    // ...and later gaps may last just under this.
    static constexpr double kBufferGapTimeout = 5.0;

    std::string generation;
    double startedAt = 0;
    std::optional<double> lastBufferAt;
    std::int64_t bufferCount = 0;

    NativeAudioCaptureLiveness(std::string generation, double now)
        : generation(std::move(generation)), startedAt(now) {}

    // Counts a buffer of this run that carried audio; anything else is ignored.
    void receivedBuffer(std::string_view bufferGeneration, std::int64_t frames, double now);
    std::optional<Failure> failure(double now) const;

    bool operator==(const NativeAudioCaptureLiveness&) const = default;
};

}  // namespace murmo
