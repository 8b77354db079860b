#include "platform/linux/CairoIconRenderer.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace murmo {
namespace {

struct SurfaceRelease {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceRelease>;

struct PNGReader {
    const std::vector<std::uint8_t>& bytes;
    std::size_t offset = 0;

    static cairo_status_t read(void* closure, unsigned char* data, unsigned int length) {
        auto& reader = *static_cast<PNGReader*>(closure);
        if (reader.bytes.size() - reader.offset < length) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, reader.bytes.data() + reader.offset, length);
        reader.offset += length;
        return CAIRO_STATUS_SUCCESS;
    }
};

Surface decode(const std::vector<std::uint8_t>& png) {
    PNGReader reader{png};
    return Surface(cairo_image_surface_create_from_png_stream(PNGReader::read, &reader));
}

// 0xAARRGGBB, premultiplied, at (x, y) of a decoded PNG.
std::uint32_t pixelAt(cairo_surface_t* surface, int x, int y) {
    const auto* data = cairo_image_surface_get_data(surface);
    const auto stride = cairo_image_surface_get_stride(surface);
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, data + static_cast<std::ptrdiff_t>(y) * stride + x * 4, sizeof pixel);
    return pixel;
}

// The left `opaqueColumns` columns opaque orange, the rest fully transparent.
PixelImage halfOpaque(int width, int height, int opaqueColumns) {
    PixelImage image{.width = width, .height = height, .rgba = {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool opaque = x < opaqueColumns;
            image.rgba.insert(image.rgba.end(), {0xFF, 0x80, 0x00, static_cast<std::uint8_t>(opaque ? 0xFF : 0)});
        }
    }
    return image;
}

TEST(CairoIconRendererTest, ThePNGDecodesToTheSquareWithTheImageScaledIntoIt) {
    CairoIconRenderer renderer;
    for (const int size : {32, 64}) {
        SCOPED_TRACE(size);
        // Not square, smaller one way and larger the other: stretched both ways.
        const auto png = renderer.renderPNG(halfOpaque(40, 20, 20), size);
        ASSERT_TRUE(png);
        const auto surface = decode(*png);
        ASSERT_EQ(cairo_surface_status(surface.get()), CAIRO_STATUS_SUCCESS);
        EXPECT_EQ(cairo_image_surface_get_width(surface.get()), size);
        EXPECT_EQ(cairo_image_surface_get_height(surface.get()), size);
        EXPECT_EQ(pixelAt(surface.get(), size / 4, size / 2), 0xFFFF8000u) << "an opaque pixel survives scaling";
        EXPECT_EQ(pixelAt(surface.get(), 0, 0), 0xFFFF8000u) << "the edges do not fade";
        EXPECT_EQ(pixelAt(surface.get(), size * 3 / 4, size - 1), 0u) << "transparent stays transparent";
    }
}

TEST(CairoIconRendererTest, StraightAlphaIsPremultipliedOnTheWay) {
    PixelImage image{.width = 2, .height = 2, .rgba = {}};
    for (int i = 0; i < 4; ++i) image.rgba.insert(image.rgba.end(), {0xFF, 0xFF, 0xFF, 0x80});
    const auto png = CairoIconRenderer().renderPNG(image, 32);
    ASSERT_TRUE(png);
    const auto surface = decode(*png);
    ASSERT_EQ(cairo_surface_status(surface.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(pixelAt(surface.get(), 16, 16), 0x80808080u) << "half-transparent white, not opaque white";
}

TEST(CairoIconRendererTest, AnImageThatIsNotWholeOrASizeBelowOneFails) {
    CairoIconRenderer renderer;
    auto truncated = halfOpaque(4, 4, 2);
    truncated.rgba.pop_back();
    EXPECT_EQ(renderer.renderPNG(truncated, 32), std::nullopt);
    EXPECT_EQ(renderer.renderPNG(PixelImage{}, 32), std::nullopt);
    EXPECT_EQ(renderer.renderPNG(halfOpaque(4, 4, 2), 0), std::nullopt);
}

}  // namespace
}  // namespace murmo
