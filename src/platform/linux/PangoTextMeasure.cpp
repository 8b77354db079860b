#include "platform/linux/PangoTextMeasure.h"

#include <cairo.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/linux/CairoHandles.h"
#include "platform/linux/PangoTextLayout.h"

namespace murmo {

TextSize PangoTextMeasure::measure(std::string_view text, double fontSize, TextWeight weight, double wrapWidth,
                                   double maximumHeight) {
    // A tiny surface: only the layout's metrics are read.
    cairo_handles::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
    cairo_handles::Context cr(cairo_create(surface.get()));
    auto layout = pango_text::textLayout(cr.get(), std::string(text), HUDFont{fontSize, weight}, wrapWidth, 0);
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_NONE);
    pango_layout_set_height(layout.get(), -1);
    PangoRectangle logical{};
    pango_layout_get_extents(layout.get(), nullptr, &logical);
    return TextSize{static_cast<double>(logical.width) / PANGO_SCALE,
                    std::min(static_cast<double>(logical.height) / PANGO_SCALE, maximumHeight)};
}

}  // namespace murmo
