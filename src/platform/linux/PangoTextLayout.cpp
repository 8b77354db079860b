#include "platform/linux/PangoTextLayout.h"

#include <algorithm>

namespace murmo::pango_text {

namespace {

struct GFreeDeleter {
    void operator()(char* text) const { g_free(text); }
};

int pangoWeight(TextWeight weight) {
    switch (weight) {
        case TextWeight::regular: return PANGO_WEIGHT_NORMAL;
        case TextWeight::medium: return PANGO_WEIGHT_MEDIUM;
        case TextWeight::semibold: return PANGO_WEIGHT_SEMIBOLD;
        case TextWeight::bold: return PANGO_WEIGHT_BOLD;
    }
    return PANGO_WEIGHT_NORMAL;
}

// Bad bytes become U+FFFD before Pango sees the text.
std::string validUTF8(const std::string& text) {
    std::unique_ptr<char, GFreeDeleter> valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
    return valid.get();
}

}  // namespace

Layout textLayout(cairo_t* cr, const std::string& text, const HUDFont& font, double width, int maximumLines) {
    Layout layout(pango_cairo_create_layout(cr));
    PangoContext* context = pango_layout_get_context(layout.get());
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context, FALSE);
    pango_layout_context_changed(layout.get());

    FontDescription description(pango_font_description_new());
    pango_font_description_set_family(description.get(), kFontFamily);
    pango_font_description_set_weight(description.get(), static_cast<PangoWeight>(pangoWeight(font.weight)));
    pango_font_description_set_absolute_size(description.get(), font.size * PANGO_SCALE);
    pango_layout_set_font_description(layout.get(), description.get());
    const auto valid = validUTF8(text);
    pango_layout_set_text(layout.get(), valid.c_str(), -1);
    pango_layout_set_width(layout.get(), static_cast<int>(std::max(width, 0.0) * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
    pango_layout_set_height(layout.get(), maximumLines > 0 ? -maximumLines : -1);
    return layout;
}

}  // namespace murmo::pango_text
