#include "platform/linux/EwmhWindowIcon.h"

#include <algorithm>
#include <cstdlib>

namespace murmo {

namespace {

struct ImageSpan {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::span<const std::uint32_t> pixels;
};

long sideOf(const ImageSpan& image) { return static_cast<long>(std::max(image.width, image.height)); }

PixelImage asRGBA(const ImageSpan& image) {
    PixelImage result{.width = static_cast<int>(image.width), .height = static_cast<int>(image.height)};
    result.rgba.reserve(image.pixels.size() * PixelImage::kBytesPerPixel);
    for (const auto argb : image.pixels) {
        result.rgba.push_back(static_cast<std::uint8_t>(argb >> 16));
        result.rgba.push_back(static_cast<std::uint8_t>(argb >> 8));
        result.rgba.push_back(static_cast<std::uint8_t>(argb));
        result.rgba.push_back(static_cast<std::uint8_t>(argb >> 24));
    }
    return result;
}

}  // namespace

bool isCloserIconSize(long candidate, long current, long preferred) {
    const auto candidateDistance = std::labs(candidate - preferred);
    const auto currentDistance = std::labs(current - preferred);
    return candidateDistance != currentDistance ? candidateDistance < currentDistance : candidate > current;
}

std::optional<PixelImage> EwmhWindowIcon::closestImage(std::span<const std::uint32_t> cardinals,
                                                       int preferredPixelSize) {
    std::optional<ImageSpan> best;
    std::size_t offset = 0;
    while (cardinals.size() - offset >= 2) {
        const auto width = cardinals[offset];
        const auto height = cardinals[offset + 1];
        if (width == 0 || height == 0 || width > kMaximumSide || height > kMaximumSide) break;
        const auto pixelCount = static_cast<std::size_t>(width) * height;
        if (cardinals.size() - offset - 2 < pixelCount) break;
        const ImageSpan image{.width = width, .height = height, .pixels = cardinals.subspan(offset + 2, pixelCount)};
        if (!best || isCloserIconSize(sideOf(image), sideOf(*best), preferredPixelSize)) best = image;
        offset += 2 + pixelCount;
    }
    if (!best) return std::nullopt;
    return asRGBA(*best);
}

}  // namespace murmo
