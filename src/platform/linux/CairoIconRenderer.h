#pragma once

// Renders icons with Cairo: the image is scaled as a whole into a cleared
// ARGB32 square with Cairo's best filter, its edge pixels extended outwards so
// that scaling leaves no faded border, and the square is written as PNG.

#include "platform/IconRenderer.h"

namespace murmo {

class CairoIconRenderer final : public IconRenderer {
public:
    std::optional<std::vector<std::uint8_t>> renderPNG(const PixelImage& image, int pixelSize) override;
};

}  // namespace murmo
