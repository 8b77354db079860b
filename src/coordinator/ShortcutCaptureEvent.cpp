#include "coordinator/ShortcutCaptureEvent.h"

#include <cmath>

namespace murmo {

namespace {

std::optional<std::uint16_t> keyCode(const JSONValue* value) {
    if (!value || !value->number()) return std::nullopt;
    const double number = *value->number();
    if (number < 0 || number > 255 || std::trunc(number) != number) return std::nullopt;
    return static_cast<std::uint16_t>(number);
}

std::optional<std::vector<std::string>> stringArray(const JSONValue* value) {
    if (!value) return std::nullopt;
    const auto* array = std::get_if<JSONValue::Array>(&value->storage());
    if (!array) return std::nullopt;
    std::vector<std::string> strings;
    for (const auto& element : *array) {
        if (!element.string()) return std::nullopt;
        strings.push_back(*element.string());
    }
    return strings;
}

}  // namespace

std::optional<ShortcutSpecPayload> shortcutFromEvent(const JSONValue::Object& data) {
    const auto* shortcut = objectMember(data, "shortcut");
    if (!shortcut) return std::nullopt;
    const auto& object = *shortcut;
    const auto* kind = member(object, "kind");
    const auto* display = member(object, "display");
    auto modifiers = stringArray(member(object, "modifiers"));
    if (!kind || !kind->string() || !display || !display->string() || !modifiers) return std::nullopt;
    return ShortcutSpecPayload(*kind->string(), keyCode(member(object, "key_code")), std::move(*modifiers),
                               *display->string());
}

}  // namespace murmo
