#include "platform/sim/SimIconRenderer.h"

#include <fmt/format.h>

#include <array>
#include <string>

namespace murmo {

namespace {

// FNV-1a: a stable digest, enough to tell test icons apart.
std::uint64_t digest(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const auto byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    }
    return hash;
}

constexpr std::array<std::uint8_t, 8> kPNGSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

std::vector<std::uint8_t> SimIconRenderer::expectedPNG(const PixelImage& image, int pixelSize) {
    std::vector<std::uint8_t> bytes(kPNGSignature.begin(), kPNGSignature.end());
    const auto text =
        fmt::format("sim-icon {}px from {}x{} #{:016x}", pixelSize, image.width, image.height, digest(image.rgba));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

std::optional<std::vector<std::uint8_t>> SimIconRenderer::renderPNG(const PixelImage& image, int pixelSize) {
    renders_.push_back(Render{.image = image, .pixelSize = pixelSize});
    if (fails_ || !image.isValid() || pixelSize <= 0) return std::nullopt;
    return expectedPNG(image, pixelSize);
}

}  // namespace murmo
