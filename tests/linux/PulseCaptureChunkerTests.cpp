// The chunker joins whatever pieces the server hands out into buffers of
// exactly the tap's size, one plane per channel, losing and repeating nothing.

#include "platform/linux/PulseCaptureChunker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace murmo {
namespace {

// Interleaved frames whose sample for frame f, channel c is f * 10 + c.
std::vector<std::byte> interleavedFrames(std::uint32_t frames, std::uint32_t channels) {
    std::vector<float> samples;
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (std::uint32_t c = 0; c < channels; ++c) samples.push_back(static_cast<float>(f * 10 + c));
    }
    std::vector<std::byte> bytes(samples.size() * sizeof(float));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

TEST(PulseCaptureChunkerTest, JoinsPiecesOfAnySizeIntoExactBuffersOfPlanes) {
    struct Case {
        const char* what;
        std::uint32_t channels;
        std::uint32_t framesPerBuffer;
        std::vector<std::size_t> pieceBytes;
    };
    const std::vector<Case> cases{
        {"server-sized pieces, mono", 1, 1'920, {240 * 4, 480 * 4, 1'920 * 4, 1'920 * 4, 240 * 4, 960 * 4}},
        {"one piece holding several buffers", 1, 100, {1'000 * 4}},
        {"pieces splitting frames and samples, stereo", 2, 7, {3, 5, 17, 1, 40, 64, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t total = 0;
        for (auto bytes : c.pieceBytes) total += bytes;
        const auto frames = static_cast<std::uint32_t>(total / (c.channels * sizeof(float)));
        const auto stream = interleavedFrames(frames, c.channels);

        PulseCaptureChunker chunker(c.channels, c.framesPerBuffer);
        std::vector<std::vector<std::vector<float>>> buffers;
        std::size_t offset = 0;
        for (auto bytes : c.pieceBytes) {
            chunker.append(std::span(stream).subspan(offset, bytes), [&](const AudioPCMBuffer& buffer) {
                ASSERT_EQ(buffer.channelCount, c.channels);
                ASSERT_EQ(buffer.frameLength, c.framesPerBuffer);
                auto& planes = buffers.emplace_back();
                for (std::uint32_t ch = 0; ch < c.channels; ++ch) {
                    planes.emplace_back(buffer.floatChannelData[ch],
                                        buffer.floatChannelData[ch] + buffer.frameLength);
                }
            });
            offset += bytes;
        }
        ASSERT_EQ(buffers.size(), frames / c.framesPerBuffer);
        for (std::size_t b = 0; b < buffers.size(); ++b) {
            for (std::uint32_t ch = 0; ch < c.channels; ++ch) {
                for (std::uint32_t f = 0; f < c.framesPerBuffer; ++f) {
                    const auto frame = b * c.framesPerBuffer + f;
                    ASSERT_EQ(buffers[b][ch][f], static_cast<float>(frame * 10 + ch)) << "buffer " << b;
                }
            }
        }
    }
}

TEST(PulseCaptureChunkerTest, ClearDropsABufferBegunSoTheNextStartsFresh) {
    PulseCaptureChunker chunker(1, 4);
    const auto first = interleavedFrames(3, 1);
    int buffers = 0;
    chunker.append(first, [&](const AudioPCMBuffer&) { ++buffers; });
    chunker.clear();
    std::vector<float> seen;
    const auto second = interleavedFrames(4, 1);
    chunker.append(second, [&](const AudioPCMBuffer& buffer) {
        ++buffers;
        seen.assign(buffer.floatChannelData[0], buffer.floatChannelData[0] + buffer.frameLength);
    });
    EXPECT_EQ(buffers, 1);
    EXPECT_EQ(seen, (std::vector<float>{0, 10, 20, 30}));
}

}  // namespace
}  // namespace murmo
