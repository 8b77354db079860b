#include "platform/linux/PulseCaptureChunker.h"

#include <algorithm>
#include <cstring>

namespace murmo {

PulseCaptureChunker::PulseCaptureChunker(std::uint32_t channelCount, std::uint32_t framesPerBuffer)
    : channelCount_(std::max<std::uint32_t>(channelCount, 1)),
      framesPerBuffer_(std::max<std::uint32_t>(framesPerBuffer, 1)),
      pending_(std::size_t{channelCount_} * framesPerBuffer_ * sizeof(float)),
      planes_(channelCount_, std::vector<float>(framesPerBuffer_)) {
    for (const auto& plane : planes_) planePointers_.push_back(plane.data());
}

void PulseCaptureChunker::append(std::span<const std::byte> bytes, const Sink& sink) {
    while (!bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), pending_.size() - pendingBytes_);
        std::memcpy(pending_.data() + pendingBytes_, bytes.data(), take);
        pendingBytes_ += take;
        bytes = bytes.subspan(take);
        if (pendingBytes_ == pending_.size()) emit(sink);
    }
}

void PulseCaptureChunker::clear() { pendingBytes_ = 0; }

void PulseCaptureChunker::emit(const Sink& sink) {
    pendingBytes_ = 0;
    for (std::uint32_t frame = 0; frame < framesPerBuffer_; ++frame) {
        for (std::uint32_t channel = 0; channel < channelCount_; ++channel) {
            float sample = 0;
            std::memcpy(&sample, pending_.data() + (std::size_t{frame} * channelCount_ + channel) * sizeof(float),
                        sizeof(float));
            planes_[channel][frame] = sample;
        }
    }
    AudioPCMBuffer buffer;
    buffer.floatChannelData = planePointers_.data();
    buffer.channelCount = channelCount_;
    buffer.frameLength = framesPerBuffer_;
    sink(buffer);
}

}  // namespace murmo
