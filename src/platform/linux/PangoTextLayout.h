#pragma once

// The HUD's text layout, shared by the painter and the text measure: one
// pinned family, metric hinting and glyph-position rounding off, text that is
// not UTF-8 shown with U+FFFD, the tail ellipsized.

#include <glib-object.h>
#include <pango/pangocairo.h>

#include <memory>
#include <string>

#include "platform/HUDDisplayList.h"

namespace murmo::pango_text {

inline constexpr const char* kFontFamily = "Inter";

struct GObjectDeleter {
    void operator()(void* object) const { g_object_unref(object); }
};
struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* description) const { pango_font_description_free(description); }
};
using Layout = std::unique_ptr<PangoLayout, GObjectDeleter>;
using FontDescription = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;

// A layout `width` points wide showing at most `maximumLines` lines (0: all).
Layout textLayout(cairo_t* cr, const std::string& text, const HUDFont& font, double width, int maximumLines);

}  // namespace murmo::pango_text
