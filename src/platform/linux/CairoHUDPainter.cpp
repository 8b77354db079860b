#include "platform/linux/CairoHUDPainter.h"
#include "platform/linux/CairoHandles.h"
#include "platform/linux/PangoTextLayout.h"

#include <cairo.h>
#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <type_traits>
#include <variant>

namespace murmo {

namespace {

using namespace hud_scene;
using pango_text::FontDescription;
using pango_text::GObjectDeleter;
using pango_text::Layout;
using pango_text::textLayout;

using cairo_handles::Context;
using cairo_handles::Pattern;
using cairo_handles::Surface;

constexpr double kTwoPi = 2 * std::numbers::pi;

double channel(std::uint32_t rgb, int shift) { return ((rgb >> shift) & 0xFF) / 255.0; }

void setColor(cairo_t* cr, std::uint32_t rgb, double alpha = 1) {
    cairo_set_source_rgba(cr, channel(rgb, 16), channel(rgb, 8), channel(rgb, 0), alpha);
}

// The HUD's coordinates are y up; Cairo's are y down. Every rectangle flips
// here, in one place.
struct Canvas {
    cairo_t* cr;
    double width;
    double height;
    int scale;

    void roundedRect(const HUDRect& r, double radius) const {
        const double x = r.x;
        const double y = height - (r.y + r.height);
        radius = std::clamp(radius, 0.0, std::min(r.width, r.height) / 2);
        if (radius <= 0) {
            cairo_rectangle(cr, x, y, r.width, r.height);
            return;
        }
        cairo_new_sub_path(cr);
        cairo_arc(cr, x + r.width - radius, y + radius, radius, -std::numbers::pi / 2, 0);
        cairo_arc(cr, x + r.width - radius, y + r.height - radius, radius, 0, std::numbers::pi / 2);
        cairo_arc(cr, x + radius, y + r.height - radius, radius, std::numbers::pi / 2, std::numbers::pi);
        cairo_arc(cr, x + radius, y + radius, radius, std::numbers::pi, 3 * std::numbers::pi / 2);
        cairo_close_path(cr);
    }

    // Maps the unit square (y down) onto `r`, for symbols drawn in it.
    void enterUnitSquare(const HUDRect& r) const {
        cairo_translate(cr, r.x, height - (r.y + r.height));
        cairo_scale(cr, r.width, r.height);
    }
};

// ---- Blur ----------------------------------------------------------------------

// Three passes of a box blur, each way: close to a Gaussian of the radius.
void boxBlur(cairo_surface_t* surface, int radius) {
    if (radius <= 0) return;
    cairo_surface_flush(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface) / 4;
    auto* pixels = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface));
    std::vector<std::uint32_t> line(static_cast<std::size_t>(std::max(width, height)));
    const auto pass = [&](int count, int step, std::uint32_t* start) {
        for (int i = 0; i < count; ++i)
            line[static_cast<std::size_t>(i)] = start[static_cast<std::ptrdiff_t>(i) * step];
        for (int i = 0; i < count; ++i) {
            std::uint32_t sums[4] = {0, 0, 0, 0};
            for (int k = std::max(0, i - radius); k <= std::min(count - 1, i + radius); ++k) {
                for (int c = 0; c < 4; ++c) sums[c] += (line[static_cast<std::size_t>(k)] >> (c * 8)) & 0xFF;
            }
            std::uint32_t value = 0;
            const int window = 2 * radius + 1;  // edges fade into transparency
            for (int c = 0; c < 4; ++c) value |= (sums[c] / static_cast<std::uint32_t>(window)) << (c * 8);
            start[static_cast<std::ptrdiff_t>(i) * step] = value;
        }
    };
    for (int iteration = 0; iteration < 3; ++iteration) {
        for (int row = 0; row < height; ++row) pass(width, 1, pixels + static_cast<std::ptrdiff_t>(row) * stride);
        for (int column = 0; column < width; ++column) pass(height, stride, pixels + column);
    }
    cairo_surface_mark_dirty(surface);
}

// ---- Shadows -------------------------------------------------------------------

// Draws an item with `draw`, first casting its shadow: the item's own
// coverage in black, box-blurred, moved down by the offset. Only the area
// around `bounds` is blurred, so a label's shadow costs a label's pixels.
template <class Draw>
void withShadow(const Canvas& canvas, const HUDRect& bounds, const Shadow& shadow, Draw draw) {
    if (!(shadow.opacity > 0)) {
        draw();
        return;
    }
    cairo_t* cr = canvas.cr;
    cairo_push_group(cr);
    draw();
    Pattern item(cairo_pop_group(cr));

    const double margin = std::max(shadow.radius, 0.0) * 2 + 1;
    const double left = bounds.x - margin;
    const double top = canvas.height - (bounds.y + bounds.height) - margin;
    const int width = static_cast<int>(std::ceil((bounds.width + 2 * margin) * canvas.scale));
    const int height = static_cast<int>(std::ceil((bounds.height + 2 * margin) * canvas.scale));
    if (width > 0 && height > 0) {
        Surface cast(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        cairo_surface_set_device_scale(cast.get(), canvas.scale, canvas.scale);
        Context painter(cairo_create(cast.get()));
        cairo_translate(painter.get(), -left, -top);
        cairo_set_source_rgba(painter.get(), 0, 0, 0, std::min(shadow.opacity, 1.0));
        cairo_mask(painter.get(), item.get());
        painter.reset();
        boxBlur(cast.get(), static_cast<int>(std::lround(shadow.radius * canvas.scale / 2)));
        // The offset is y up; Cairo's y runs down.
        cairo_set_source_surface(cr, cast.get(), left, top - shadow.offsetY);
        cairo_paint(cr);
    }
    cairo_set_source(cr, item.get());
    cairo_paint(cr);
}

// ---- Text --------------------------------------------------------------------

void drawText(const Canvas& canvas, const Text& item) {
    withShadow(canvas, item.rect, item.shadow, [&] {
        auto layout = textLayout(canvas.cr, item.text, item.font, item.rect.width, item.maximumLines);
        cairo_save(canvas.cr);
        setColor(canvas.cr, item.rgb);
        cairo_move_to(canvas.cr, item.rect.x, canvas.height - (item.rect.y + item.rect.height));
        pango_cairo_show_layout(canvas.cr, layout.get());
        cairo_restore(canvas.cr);
    });
}

// ---- Symbols -------------------------------------------------------------------

void polygon(cairo_t* cr, std::initializer_list<std::pair<double, double>> points) {
    bool first = true;
    for (const auto& [x, y] : points) {
        if (first) {
            cairo_move_to(cr, x, y);
            first = false;
        } else {
            cairo_line_to(cr, x, y);
        }
    }
    cairo_close_path(cr);
}

void unitRoundedBar(cairo_t* cr, double x, double y, double width, double height) {
    const double radius = width / 2;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + radius, y + radius, radius, std::numbers::pi, 0);
    cairo_arc(cr, x + radius, y + height - radius, radius, 0, std::numbers::pi);
    cairo_close_path(cr);
}

void drawSymbol(cairo_t* cr, const std::string& symbol, std::uint32_t rgb) {
    // Drawn in the unit square, y down; our own simple shapes.
    setColor(cr, rgb);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    if (symbol == "waveform") {
        const double heights[] = {0.35, 0.7, 1.0, 0.6, 0.3};
        for (int i = 0; i < 5; ++i) unitRoundedBar(cr, 0.06 + i * 0.19, (1 - heights[i]) / 2, 0.12, heights[i]);
        cairo_fill(cr);
    } else if (symbol == "hourglass") {
        polygon(cr, {{0.2, 0.05}, {0.8, 0.05}, {0.5, 0.5}});
        polygon(cr, {{0.5, 0.5}, {0.8, 0.95}, {0.2, 0.95}});
        cairo_fill(cr);
    } else if (symbol == "pause.fill") {
        unitRoundedBar(cr, 0.2, 0.08, 0.2, 0.84);
        unitRoundedBar(cr, 0.6, 0.08, 0.2, 0.84);
        cairo_fill(cr);
    } else if (symbol == "bolt.slash.fill") {
        polygon(cr, {{0.55, 0.02}, {0.2, 0.55}, {0.48, 0.55}, {0.42, 0.98}, {0.8, 0.42}, {0.52, 0.42}});
        cairo_fill(cr);
        cairo_set_line_width(cr, 0.09);
        cairo_move_to(cr, 0.08, 0.08);
        cairo_line_to(cr, 0.92, 0.92);
        cairo_stroke(cr);
    } else if (symbol == "mic.fill") {
        unitRoundedBar(cr, 0.33, 0.02, 0.34, 0.6);
        cairo_fill(cr);
        cairo_set_line_width(cr, 0.08);
        cairo_arc_negative(cr, 0.5, 0.42, 0.3, std::numbers::pi, 0);
        cairo_stroke(cr);
        cairo_move_to(cr, 0.5, 0.74);
        cairo_line_to(cr, 0.5, 0.94);
        cairo_stroke(cr);
    } else if (symbol == "sparkles") {
        polygon(cr, {{0.42, 0.1},
                     {0.52, 0.42},
                     {0.84, 0.52},
                     {0.52, 0.62},
                     {0.42, 0.94},
                     {0.32, 0.62},
                     {0.0, 0.52},
                     {0.32, 0.42}});
        polygon(cr, {{0.8, 0.0},
                     {0.85, 0.13},
                     {0.98, 0.18},
                     {0.85, 0.23},
                     {0.8, 0.36},
                     {0.75, 0.23},
                     {0.62, 0.18},
                     {0.75, 0.13}});
        cairo_fill(cr);
    } else if (symbol == "keyboard") {
        cairo_set_line_width(cr, 0.08);
        cairo_rectangle(cr, 0.06, 0.2, 0.88, 0.6);
        cairo_stroke(cr);
        for (int row = 0; row < 2; ++row) {
            for (int key = 0; key < 4; ++key) cairo_rectangle(cr, 0.18 + key * 0.18, 0.32 + row * 0.16, 0.1, 0.08);
        }
        cairo_rectangle(cr, 0.3, 0.64, 0.4, 0.06);
        cairo_fill(cr);
    } else if (symbol == "checkmark") {
        cairo_set_line_width(cr, 0.16);
        cairo_move_to(cr, 0.12, 0.55);
        cairo_line_to(cr, 0.4, 0.82);
        cairo_line_to(cr, 0.88, 0.18);
        cairo_stroke(cr);
    } else if (symbol == "exclamationmark.triangle.fill") {
        polygon(cr, {{0.5, 0.04}, {0.98, 0.94}, {0.02, 0.94}});
        cairo_fill(cr);
        // The mark is cut out of the triangle.
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        unitRoundedBar(cr, 0.44, 0.32, 0.12, 0.34);
        cairo_arc(cr, 0.5, 0.79, 0.065, 0, kTwoPi);
        cairo_fill(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
}

void drawIcon(const Canvas& canvas, const Icon& item) {
    withShadow(canvas, item.rect, item.shadow, [&] {
        // A group, so that a symbol's cut-outs clear only itself.
        cairo_push_group(canvas.cr);
        cairo_save(canvas.cr);
        canvas.enterUnitSquare(item.rect);
        drawSymbol(canvas.cr, item.symbol, item.rgb);
        cairo_restore(canvas.cr);
        cairo_pop_group_to_source(canvas.cr);
        cairo_paint(canvas.cr);
    });
}

// ---- The ring -------------------------------------------------------------------

struct Stop {
    double location;
    double red, green, blue, alpha;  // premultiplied
};

std::array<Stop, 9> ringStops() {
    const auto stop = [](double location, std::uint32_t rgb, double alpha) {
        return Stop{location, channel(rgb, 16) * alpha, channel(rgb, 8) * alpha, channel(rgb, 0) * alpha, alpha};
    };
    const double locations[] = {0,
                                0.1111111111111111,
                                0.21666666666666667,
                                0.28888888888888886,
                                0.35555555555555557,
                                0.4,
                                0.45,
                                0.5416666666666666,
                                1};
    return {stop(locations[0], 0, 0),          stop(locations[1], 0xFFFFFF, 0.1), stop(locations[2], 0x35A2DE, 1),
            stop(locations[3], 0x3746CC, 1),   stop(locations[4], 0x9200FF, 1),   stop(locations[5], 0xFF00D6, 1),
            stop(locations[6], 0xFFA02F, 0.6), stop(locations[7], 0, 0),          stop(locations[8], 0, 0)};
}

std::uint32_t colorAt(const std::array<Stop, 9>& stops, double fraction) {
    std::size_t i = 1;
    while (i < stops.size() - 1 && stops[i].location < fraction) ++i;
    const auto& a = stops[i - 1];
    const auto& b = stops[i];
    const double span = b.location - a.location;
    const double t = span > 0 ? std::clamp((fraction - a.location) / span, 0.0, 1.0) : 0;
    const auto mix = [t](double from, double to) {
        return static_cast<std::uint32_t>(std::lround((from + (to - from) * t) * 255));
    };
    return mix(a.alpha, b.alpha) << 24 | mix(a.red, b.red) << 16 | mix(a.green, b.green) << 8 | mix(a.blue, b.blue);
}

// The gradient starts pointing at the capsule's bottom edge (turned by the
// rotation, counter-clockwise for a positive angle in y-up terms) and its
// colours sweep clockwise from there, as the screen shows them.
// Only pixels the ring can cover are computed: a band along the edges as
// wide as the ring, and the corner squares where it curves inwards.
Surface conicColors(const Canvas& canvas, const Ring& ring) {
    const double rotation = ring.rotation;
    const int width = static_cast<int>(std::ceil(canvas.width * canvas.scale));
    const int height = static_cast<int>(std::ceil(canvas.height * canvas.scale));
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    cairo_surface_flush(surface.get());
    auto* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const auto stops = ringStops();
    const double startX = std::sin(rotation);
    const double startY = -std::cos(rotation);
    const double centreX = canvas.width / 2;
    const double centreY = canvas.height / 2;
    const auto& outer = ring.outer.rect;
    const auto& inner = ring.inner.rect;
    const double bandPoints = std::max({inner.x - outer.x, outer.x + outer.width - (inner.x + inner.width),
                                        inner.y - outer.y, outer.y + outer.height - (inner.y + inner.height), 0.0});
    const double outerLeft = outer.x;
    const double outerTop = canvas.height - (outer.y + outer.height);
    const int band = static_cast<int>(std::ceil(bandPoints * canvas.scale)) + 1;
    const int corner = static_cast<int>(std::ceil(ring.outer.cornerRadius * canvas.scale)) + 1;
    const int left = static_cast<int>(std::floor(outerLeft * canvas.scale));
    const int top = static_cast<int>(std::floor(outerTop * canvas.scale));
    const int right = static_cast<int>(std::ceil((outerLeft + outer.width) * canvas.scale));
    const int bottom = static_cast<int>(std::ceil((outerTop + outer.height) * canvas.scale));
    for (int row = std::max(top, 0); row < std::min(bottom, height); ++row) {
        auto* line = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride);
        const double y = canvas.height - (row + 0.5) / canvas.scale - centreY;
        const bool nearTopOrBottom = row < top + band || row >= bottom - band;
        const bool inCornerRows = row < top + corner || row >= bottom - corner;
        const int reach = inCornerRows ? std::max(band, corner) : band;
        for (int column = std::max(left, 0); column < std::min(right, width); ++column) {
            if (!nearTopOrBottom && column >= left + reach && column < right - reach) {
                column = right - reach - 1;
                continue;
            }
            const double x = (column + 0.5) / canvas.scale - centreX;
            const double counterClockwise = std::atan2(startX * y - startY * x, startX * x + startY * y);
            double fraction = -counterClockwise / kTwoPi;
            if (fraction < 0) fraction += 1;
            line[column] = colorAt(stops, fraction);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    cairo_surface_set_device_scale(surface.get(), canvas.scale, canvas.scale);
    return surface;
}

void drawRing(const Canvas& canvas, const Ring& item) {
    auto colors = conicColors(canvas, item);
    cairo_save(canvas.cr);
    cairo_set_fill_rule(canvas.cr, CAIRO_FILL_RULE_EVEN_ODD);
    canvas.roundedRect(item.outer.rect, item.outer.cornerRadius);
    canvas.roundedRect(item.inner.rect, item.inner.cornerRadius);
    cairo_clip(canvas.cr);
    cairo_set_source_surface(canvas.cr, colors.get(), 0, 0);
    cairo_paint_with_alpha(canvas.cr, item.opacity);
    cairo_restore(canvas.cr);
}

// ---- Items ---------------------------------------------------------------------

void drawButton(const Canvas& canvas, const Button& item) {
    cairo_t* cr = canvas.cr;
    canvas.roundedRect(item.rect, item.cornerRadius);
    setColor(cr, item.surfaceRGB, item.surfaceAlpha);
    cairo_fill_preserve(cr);
    setColor(cr, item.borderRGB, item.borderAlpha);
    cairo_set_line_width(cr, item.borderWidth);
    cairo_stroke(cr);
    auto layout = textLayout(cr, item.title, item.font, item.rect.width, 1);
    pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
    int textWidth = 0;
    int textHeight = 0;
    pango_layout_get_size(layout.get(), &textWidth, &textHeight);
    const double top = canvas.height - (item.rect.y + item.rect.height) +
                       (item.rect.height - static_cast<double>(textHeight) / PANGO_SCALE) / 2;
    setColor(cr, item.rgb);
    cairo_move_to(cr, item.rect.x, top);
    pango_cairo_show_layout(cr, layout.get());
}

void drawAnswer(const Canvas& canvas, const Answer& item) {
    cairo_t* cr = canvas.cr;
    cairo_save(cr);
    canvas.roundedRect(item.rect, 0);
    cairo_clip(cr);
    auto layout = textLayout(cr, item.text, HUDFont{13, TextWeight::regular}, item.textFrame.width, 0);
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_NONE);
    pango_layout_set_height(layout.get(), -1);
    setColor(cr, item.rgb);
    cairo_move_to(cr, item.rect.x, canvas.height - (item.rect.y + item.rect.height) - item.scrollOffset);
    pango_cairo_show_layout(cr, layout.get());
    if (item.showsScroller && item.textFrame.height > 0) {
        const double visible = std::min(item.rect.height / item.textFrame.height, 1.0);
        const double knob = std::max(item.rect.height * visible, 8.0);
        const double travel = item.rect.height - knob;
        const double scrollable = std::max(item.textFrame.height - item.rect.height, 1.0);
        const double offset = travel * std::clamp(item.scrollOffset / scrollable, 0.0, 1.0);
        const HUDRect bar{item.rect.x + item.rect.width - 5, item.rect.y + item.rect.height - knob - offset, 3, knob};
        canvas.roundedRect(bar, 1.5);
        setColor(cr, item.rgb, 0.5);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

void endGroup(const Canvas& canvas, const BeginGroup& group) {
    cairo_t* cr = canvas.cr;
    Pattern pattern(cairo_pop_group(cr));
    cairo_save(cr);
    if (group.blurRadius > 0) {
        const int width = static_cast<int>(std::ceil(canvas.width * canvas.scale));
        const int height = static_cast<int>(std::ceil(canvas.height * canvas.scale));
        Surface blurred(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        cairo_surface_set_device_scale(blurred.get(), canvas.scale, canvas.scale);
        Context painter(cairo_create(blurred.get()));
        cairo_set_source(painter.get(), pattern.get());
        cairo_paint(painter.get());
        painter.reset();
        boxBlur(blurred.get(), static_cast<int>(std::lround(group.blurRadius * canvas.scale / 2)));
        // The surface's device scale maps it back to points; a pattern matrix
        // on top would shrink the content at scale 2.
        pattern.reset(cairo_pattern_create_for_surface(blurred.get()));
    }
    // Scaled about the capsule's centre.
    cairo_translate(cr, canvas.width / 2, canvas.height / 2);
    cairo_scale(cr, group.scale, group.scale);
    cairo_translate(cr, -canvas.width / 2, -canvas.height / 2);
    cairo_set_source(cr, pattern.get());
    cairo_paint_with_alpha(cr, std::clamp(group.opacity, 0.0, 1.0));
    cairo_restore(cr);
}

}  // namespace

HUDImage CairoHUDPainter::paint(const HUDDisplayList& list, int scale) const {
    scale = std::max(scale, 1);
    HUDImage image;
    image.width = static_cast<int>(std::ceil(list.width * scale));
    image.height = static_cast<int>(std::ceil(list.height * scale));
    Surface surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(image.width, 1), std::max(image.height, 1)));
    Context context(cairo_create(surface.get()));
    cairo_t* cr = context.get();
    cairo_scale(cr, scale, scale);
    const Canvas canvas{cr, list.width, list.height, scale};

    // Everything is clipped to the capsule and faded with the panel.
    cairo_push_group(cr);
    canvas.roundedRect(HUDRect{0, 0, list.width, list.height}, list.cornerRadius);
    cairo_clip(cr);
    std::vector<BeginGroup> groups;
    for (const auto& item : list.items) {
        std::visit(
            [&](const auto& entry) {
                using Item = std::decay_t<decltype(entry)>;
                if constexpr (std::is_same_v<Item, RoundedRect>) {
                    canvas.roundedRect(entry.rect, entry.cornerRadius);
                    setColor(cr, entry.rgb, entry.alpha);
                    cairo_fill(cr);
                } else if constexpr (std::is_same_v<Item, Ring>) {
                    drawRing(canvas, entry);
                } else if constexpr (std::is_same_v<Item, Icon>) {
                    drawIcon(canvas, entry);
                } else if constexpr (std::is_same_v<Item, Text>) {
                    drawText(canvas, entry);
                } else if constexpr (std::is_same_v<Item, Bar>) {
                    canvas.roundedRect(entry.rect, entry.cornerRadius);
                    setColor(cr, entry.rgb, entry.alpha);
                    cairo_fill(cr);
                } else if constexpr (std::is_same_v<Item, Dot>) {
                    canvas.roundedRect(entry.rect, entry.rect.width / 2);
                    setColor(cr, entry.rgb, entry.opacity);
                    cairo_fill(cr);
                } else if constexpr (std::is_same_v<Item, Button>) {
                    drawButton(canvas, entry);
                } else if constexpr (std::is_same_v<Item, Answer>) {
                    drawAnswer(canvas, entry);
                } else if constexpr (std::is_same_v<Item, BeginGroup>) {
                    groups.push_back(entry);
                    cairo_push_group(cr);
                } else if constexpr (std::is_same_v<Item, EndGroup>) {
                    if (groups.empty()) return;
                    endGroup(canvas, groups.back());
                    groups.pop_back();
                }
            },
            item);
    }
    while (!groups.empty()) {
        endGroup(canvas, groups.back());
        groups.pop_back();
    }
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, std::clamp(list.alpha, 0.0, 1.0));
    context.reset();

    cairo_surface_flush(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const auto* data = cairo_image_surface_get_data(surface.get());
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    for (int row = 0; row < image.height; ++row) {
        std::memcpy(image.pixels.data() + static_cast<std::ptrdiff_t>(row) * image.width,
                    data + static_cast<std::ptrdiff_t>(row) * stride, static_cast<std::size_t>(image.width) * 4);
    }
    return image;
}

Status HUDImage::writePNG(const std::filesystem::path& path) const {
    std::vector<std::uint32_t> copy = pixels;
    Surface surface(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(copy.data()),
                                                        CAIRO_FORMAT_ARGB32, width, height, width * 4));
    if (cairo_surface_write_to_png(surface.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
        return fail("MurmoHUDImage", 1, "could not write " + path.string());
    }
    return {};
}

std::string CairoHUDPainter::resolvedFontFamily() {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    std::unique_ptr<PangoContext, GObjectDeleter> context(pango_font_map_create_context(map));
    FontDescription wanted(pango_font_description_from_string((std::string(kFontFamily) + " 12").c_str()));
    std::unique_ptr<PangoFont, GObjectDeleter> font(pango_font_map_load_font(map, context.get(), wanted.get()));
    if (!font) return {};
    FontDescription found(pango_font_describe(font.get()));
    const char* family = pango_font_description_get_family(found.get());
    return family ? family : "";
}

}  // namespace murmo
