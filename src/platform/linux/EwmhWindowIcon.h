#pragma once

// The pictures of a window's _NET_WM_ICON: one or more images, each its
// width, its height and then width x height pixels, one cardinal per pixel
// as 0xAARRGGBB with straight (not premultiplied) alpha, rows top to bottom.

#include <cstdint>
#include <optional>
#include <span>

#include "platform/PixelImage.h"

namespace murmo {

// Whether an icon of side `candidate` comes closer to `preferred` than one
// of side `current`; of two equally close, the larger, since scaling down
// loses less than scaling up.
bool isCloserIconSize(long candidate, long current, long preferred);

class EwmhWindowIcon {
public:
    // The largest side accepted; a larger claimed size marks a malformed
    // property, and the images from it on are not read.
    static constexpr std::uint32_t kMaximumSide = 4096;

    // The image whose larger side is closest to `preferredPixelSize` (the
    // larger of two equally close ones), as RGBA. Absent when the property
    // holds no complete image. Images after a malformed one are ignored; the
    // ones before it still count.
    static std::optional<PixelImage> closestImage(std::span<const std::uint32_t> cardinals, int preferredPixelSize);
};

}  // namespace murmo
