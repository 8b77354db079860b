#pragma once

// What a HUD painter draws: the capsule at one moment as a list of simple
// items, in the capsule's own coordinates (points, y up; a backend flips
// them). Made by the HUD model, drawn by a backend of the HUD surface.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/TextMeasure.h"
#include "runtime/JsonRead.h"

namespace murmo {

struct HUDRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const HUDRect&) const = default;
};

struct HUDRoundedRect {
    HUDRect rect;
    double cornerRadius = 0;
    bool operator==(const HUDRoundedRect&) const = default;
};

using HUDFontWeight = TextWeight;

struct HUDFont {
    double size = 0;
    HUDFontWeight weight = HUDFontWeight::regular;
    bool operator==(const HUDFont&) const = default;
};

namespace hud_scene {
// A soft black shadow cast by an icon or a label; none at opacity 0.
struct Shadow {
    double opacity = 0;
    double offsetY = 0;
    double radius = 0;
};
struct RoundedRect {
    HUDRect rect;
    double cornerRadius = 0;
    std::uint32_t rgb = 0;
    double alpha = 1;
};
// The ring: between two rounded rectangles, coloured by the turning gradient.
struct Ring {
    HUDRoundedRect outer;
    HUDRoundedRect inner;
    double rotation = 0;
    double opacity = 1;
};
struct Icon {
    std::string symbol;
    HUDRect rect;
    std::uint32_t rgb = 0;
    Shadow shadow;
};
struct Text {
    std::string text;
    HUDRect rect;
    HUDFont font;
    std::uint32_t rgb = 0;
    int maximumLines = 1;
    Shadow shadow;
};
struct Bar {
    HUDRect rect;
    double cornerRadius = 0;
    std::uint32_t rgb = 0;
    double alpha = 1;
};
struct Dot {
    HUDRect rect;
    std::uint32_t rgb = 0;
    double opacity = 1;
};
struct Button {
    std::string title;
    HUDRect rect;
    HUDFont font;
    std::uint32_t rgb = 0;
    std::uint32_t surfaceRGB = 0;
    double surfaceAlpha = 0;
    std::uint32_t borderRGB = 0;
    double borderAlpha = 0;
    double cornerRadius = 0;
    double borderWidth = 0;
};
struct Answer {
    std::string text;
    HUDRect rect;
    HUDRect textFrame;
    double scrollOffset = 0;
    std::uint32_t rgb = 0;
    bool showsScroller = false;
};
// Items between BeginGroup and EndGroup are drawn as one group, scaled about
// the capsule's centre, blurred and faded together.
struct BeginGroup {
    double opacity = 1;
    double scale = 1;
    double blurRadius = 0;
};
struct EndGroup {};
}  // namespace hud_scene

using HUDDisplayItem =
    std::variant<hud_scene::RoundedRect, hud_scene::Ring, hud_scene::Icon, hud_scene::Text, hud_scene::Bar,
                 hud_scene::Dot, hud_scene::Button, hud_scene::Answer, hud_scene::BeginGroup, hud_scene::EndGroup>;

struct HUDDisplayList {
    double width = 0;
    double height = 0;
    double alpha = 1;
    double cornerRadius = 0;
    std::vector<HUDDisplayItem> items;

    json::Json toJSON() const;
};

}  // namespace murmo
