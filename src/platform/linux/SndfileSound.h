#pragma once

// A short sound file decoded whole into memory, so that playing it needs no
// file access and no decoding on the audio path.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace murmo {

class SndfileSound {
public:
    // Decodes every frame of `file` (any format libsndfile reads) into
    // interleaved 32-bit float samples. Nothing when the file cannot be
    // opened, is not a sound libsndfile knows, holds no frame, has more than
    // PulseAudio's channel count or ends before its header says.
    static std::optional<SndfileSound> decode(const std::filesystem::path& file);

    std::uint32_t sampleRate() const { return sampleRate_; }
    std::uint8_t channels() const { return channels_; }
    std::size_t frameCount() const { return samples_.size() / channels_; }
    // Interleaved, in [-1, 1].
    std::span<const float> samples() const { return samples_; }

private:
    SndfileSound(std::uint32_t sampleRate, std::uint8_t channels, std::vector<float> samples)
        : sampleRate_(sampleRate), channels_(channels), samples_(std::move(samples)) {}

    std::uint32_t sampleRate_;
    std::uint8_t channels_;
    std::vector<float> samples_;
};

}  // namespace murmo
