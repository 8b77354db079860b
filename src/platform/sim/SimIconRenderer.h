#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/IconRenderer.h"

namespace murmo {

// A stand-in renderer that draws nothing: its "PNG" is the PNG signature
// followed by a text naming the size and the image's dimensions and a digest
// of its bytes, so equal requests give equal bytes and different icons differ.
// It records every render, so a test tells a cached answer from a new render,
// and fails on script.
class SimIconRenderer final : public IconRenderer {
public:
    struct Render {
        PixelImage image;
        int pixelSize = 0;
    };

    std::optional<std::vector<std::uint8_t>> renderPNG(const PixelImage& image, int pixelSize) override;

    // The bytes renderPNG answers for these arguments when it succeeds.
    static std::vector<std::uint8_t> expectedPNG(const PixelImage& image, int pixelSize);

    const std::vector<Render>& renders() const { return renders_; }
    void clearRenders() { renders_.clear(); }
    // While set, every render is recorded and fails.
    void setFails(bool fails) { fails_ = fails; }

private:
    std::vector<Render> renders_;
    bool fails_ = false;
};

}  // namespace murmo
