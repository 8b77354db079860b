#pragma once

// Paints a HUD display list into an image with Cairo and PangoCairo, at
// scale 1 or 2 (pixels per point). Text uses one pinned family (Inter) with
// metric hinting and glyph-position rounding off, so measures do not change
// with the scale; text that is not UTF-8 is drawn with U+FFFD in place of the
// bad bytes. The ring's colours are computed per pixel (Cairo has no conic
// gradient); the content group's blur is a box blur. Symbols are our own
// vector drawings.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/HUDDisplayList.h"
#include "runtime/Error.h"

namespace murmo {

// Premultiplied ARGB pixels, rows top to bottom.
struct HUDImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    // 0xAARRGGBB, premultiplied, at pixel (x, y) from the top left.
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    Status writePNG(const std::filesystem::path& path) const;
};

class CairoHUDPainter {
public:
    static constexpr const char* kFontFamily = "Inter";  // the same as pango_text::kFontFamily

    HUDImage paint(const HUDDisplayList& list, int scale) const;

    // The family fontconfig really gives for kFontFamily; anything else means
    // the pinned fonts are missing.
    static std::string resolvedFontFamily();
};

}  // namespace murmo
