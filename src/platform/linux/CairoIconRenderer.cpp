#include "platform/linux/CairoIconRenderer.h"
#include "platform/linux/CairoHandles.h"

#include <cairo.h>

#include <cstring>
#include <memory>

namespace murmo {

namespace {

using cairo_handles::Context;
using cairo_handles::Surface;

std::uint32_t premultipliedARGB(const std::uint8_t* rgba) {
    const std::uint32_t alpha = rgba[3];
    // Rounded x * alpha / 255, exact for bytes.
    const auto multiply = [alpha](std::uint32_t value) {
        const std::uint32_t product = value * alpha + 128;
        return (product + (product >> 8)) >> 8;
    };
    return alpha << 24 | multiply(rgba[0]) << 16 | multiply(rgba[1]) << 8 | multiply(rgba[2]);
}

// Cairo's ARGB32 is premultiplied, one native-endian word per pixel, rows
// `stride` bytes apart.
Surface sourceSurface(const PixelImage& image) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(surface.get());
    auto* data = cairo_image_surface_get_data(surface.get());
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
    const auto width = static_cast<std::size_t>(image.width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(image.height); ++y) {
        const auto* source = image.rgba.data() + y * width * PixelImage::kBytesPerPixel;
        auto* row = data + y * stride;
        for (std::size_t x = 0; x < width; ++x) {
            const auto pixel = premultipliedARGB(source + x * PixelImage::kBytesPerPixel);
            std::memcpy(row + x * sizeof pixel, &pixel, sizeof pixel);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

bool drawScaled(cairo_surface_t* target, cairo_surface_t* source, const PixelImage& image, int pixelSize) {
    Context context(cairo_create(target));
    cairo_t* cr = context.get();
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_scale(cr, static_cast<double>(pixelSize) / image.width, static_cast<double>(pixelSize) / image.height);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_BEST);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, image.width, image.height);
    cairo_fill(cr);
    const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    context.reset();
    cairo_surface_flush(target);
    return drawn;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto& bytes = *static_cast<std::vector<std::uint8_t>*>(closure);
    bytes.insert(bytes.end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> CairoIconRenderer::renderPNG(const PixelImage& image, int pixelSize) {
    if (!image.isValid() || pixelSize <= 0) return std::nullopt;
    const auto source = sourceSurface(image);
    if (!source) return std::nullopt;
    Surface square(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelSize, pixelSize));
    if (cairo_surface_status(square.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    if (!drawScaled(square.get(), source.get(), image, pixelSize)) return std::nullopt;
    std::vector<std::uint8_t> png;
    if (cairo_surface_write_to_png_stream(square.get(), appendBytes, &png) != CAIRO_STATUS_SUCCESS) {
        return std::nullopt;
    }
    return png;
}

}  // namespace murmo
