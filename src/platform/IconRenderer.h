#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/PixelImage.h"

namespace murmo {

// Turns an icon into the small square PNG the dashboard shows. Main thread.
class IconRenderer {
public:
    virtual ~IconRenderer() = default;

    // The whole image scaled (stretched when it is not square) into a
    // transparent square `pixelSize` pixels wide, with the best filter the
    // backend has, encoded as PNG. Absent when the image is not valid, the
    // size is not positive, or drawing or encoding fails.
    virtual std::optional<std::vector<std::uint8_t>> renderPNG(const PixelImage& image, int pixelSize) = 0;
};

}  // namespace murmo
