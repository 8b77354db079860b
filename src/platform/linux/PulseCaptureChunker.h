#pragma once

// Turns the interleaved float frames a record stream hands out, in whatever
// pieces the server sends them (240, 480, 1920 frames...), into buffers of
// exactly the frame count the tap asked for, one plane per channel. A piece
// may end inside a frame; the rest of that frame comes with the next one.
// Not thread-safe: the stream's thread feeds it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "platform/AudioEngine.h"

namespace murmo {

class PulseCaptureChunker {
public:
    using Sink = std::function<void(const AudioPCMBuffer& buffer)>;

    // `channelCount` and `framesPerBuffer` at least 1.
    PulseCaptureChunker(std::uint32_t channelCount, std::uint32_t framesPerBuffer);

    // Appends the bytes of interleaved 32-bit float samples and hands every
    // buffer they complete to `sink`, in order, valid only during the call.
    void append(std::span<const std::byte> bytes, const Sink& sink);
    // Forgets a buffer begun but not completed.
    void clear();

    std::uint32_t channelCount() const { return channelCount_; }
    std::uint32_t framesPerBuffer() const { return framesPerBuffer_; }

private:
    void emit(const Sink& sink);

    std::uint32_t channelCount_;
    std::uint32_t framesPerBuffer_;
    std::vector<std::byte> pending_;
    std::size_t pendingBytes_ = 0;
    std::vector<std::vector<float>> planes_;
    std::vector<const float*> planePointers_;
};

}  // namespace murmo
