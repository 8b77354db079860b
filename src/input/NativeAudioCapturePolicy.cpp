#include "input/NativeAudioCapturePolicy.h"

namespace murmo {

std::string_view rawValue(NativeAudioCaptureMode mode) {
    return mode == NativeAudioCaptureMode::voiceProcessed ? "voiceProcessed" : "raw";
}

std::optional<NativeAudioCaptureMode> nativeAudioCaptureMode(std::string_view rawValue) {
    if (rawValue == "raw") return NativeAudioCaptureMode::raw;
    if (rawValue == "voiceProcessed") return NativeAudioCaptureMode::voiceProcessed;
    return std::nullopt;
}

NativeAudioCaptureMode preferredNativeAudioCaptureMode(bool noiseReductionEnabled, bool inputIsBuiltin,
                                                       bool outputIsBuiltin, bool hasExplicitInputDevice) {
    const bool voiceProcessed = noiseReductionEnabled && inputIsBuiltin && outputIsBuiltin && !hasExplicitInputDevice;
    return voiceProcessed ? NativeAudioCaptureMode::voiceProcessed : NativeAudioCaptureMode::raw;
}

void NativeAudioCaptureLiveness::receivedBuffer(std::string_view bufferGeneration, std::int64_t frames,
                                                MonotonicTime now) {
    if (bufferGeneration != generation || frames <= 0) return;
    lastBufferAt = now;
    bufferCount += 1;
}

std::optional<NativeAudioCaptureLiveness::Failure> NativeAudioCaptureLiveness::failure(MonotonicTime now) const {
    if (!lastBufferAt) {
        if (now - startedAt >= kFirstBufferTimeout) return Failure::noAudioBuffers;
        return std::nullopt;
    }
    if (now - *lastBufferAt >= kBufferGapTimeout) return Failure::audioInterrupted;
    return std::nullopt;
}

}  // namespace murmo
