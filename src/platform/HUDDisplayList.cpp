#include "platform/HUDDisplayList.h"

namespace murmo {

using namespace hud_scene;

namespace {

json::Json rect(const HUDRect& r) { return json::Json::array({r.x, r.y, r.width, r.height}); }
json::Json font(const HUDFont& f) { return json::Json{{"size", f.size}, {"weight", static_cast<int>(f.weight)}}; }

json::Json withShadow(json::Json item, const Shadow& shadow) {
    if (shadow.opacity > 0) {
        item["shadow"] = {{"opacity", shadow.opacity}, {"offset_y", shadow.offsetY}, {"radius", shadow.radius}};
    }
    return item;
}

struct ItemJSON {
    json::Json operator()(const RoundedRect& item) const {
        return {{"type", "rounded_rect"},
                {"rect", rect(item.rect)},
                {"radius", item.cornerRadius},
                {"rgb", item.rgb},
                {"alpha", item.alpha}};
    }
    json::Json operator()(const Ring& item) const {
        return {{"type", "ring"},
                {"outer", rect(item.outer.rect)},
                {"outer_radius", item.outer.cornerRadius},
                {"inner", rect(item.inner.rect)},
                {"inner_radius", item.inner.cornerRadius},
                {"rotation", item.rotation},
                {"opacity", item.opacity}};
    }
    json::Json operator()(const Icon& item) const {
        return withShadow({{"type", "icon"}, {"symbol", item.symbol}, {"rect", rect(item.rect)}, {"rgb", item.rgb}},
                          item.shadow);
    }
    json::Json operator()(const Text& item) const {
        return withShadow({{"type", "text"},
                           {"text", item.text},
                           {"rect", rect(item.rect)},
                           {"font", font(item.font)},
                           {"rgb", item.rgb},
                           {"lines", item.maximumLines}},
                          item.shadow);
    }
    json::Json operator()(const Bar& item) const {
        return {{"type", "bar"},
                {"rect", rect(item.rect)},
                {"radius", item.cornerRadius},
                {"rgb", item.rgb},
                {"alpha", item.alpha}};
    }
    json::Json operator()(const Dot& item) const {
        return {{"type", "dot"}, {"rect", rect(item.rect)}, {"rgb", item.rgb}, {"opacity", item.opacity}};
    }
    json::Json operator()(const Button& item) const {
        return {{"type", "button"},
                {"title", item.title},
                {"rect", rect(item.rect)},
                {"font", font(item.font)},
                {"rgb", item.rgb},
                {"surface_rgb", item.surfaceRGB},
                {"surface_alpha", item.surfaceAlpha},
                {"border_rgb", item.borderRGB},
                {"border_alpha", item.borderAlpha},
                {"radius", item.cornerRadius},
                {"border_width", item.borderWidth}};
    }
    json::Json operator()(const Answer& item) const {
        return {{"type", "answer"},
                {"text", item.text},
                {"rect", rect(item.rect)},
                {"text_frame", rect(item.textFrame)},
                {"scroll_offset", item.scrollOffset},
                {"rgb", item.rgb},
                {"scroller", item.showsScroller}};
    }
    json::Json operator()(const BeginGroup& item) const {
        return {{"type", "begin_group"}, {"opacity", item.opacity}, {"scale", item.scale}, {"blur", item.blurRadius}};
    }
    json::Json operator()(const EndGroup&) const { return {{"type", "end_group"}}; }
};

}  // namespace

json::Json HUDDisplayList::toJSON() const {
    auto items = json::Json::array();
    for (const auto& item : this->items) items.push_back(std::visit(ItemJSON{}, item));
    return json::Json{{"width", width},
                      {"height", height},
                      {"alpha", alpha},
                      {"corner_radius", cornerRadius},
                      {"items", std::move(items)}};
}

}  // namespace murmo
