#include "input/ShortcutSpecPayload.h"

#include <algorithm>
#include <set>

#include "runtime/AsciiText.h"

namespace murmo {

namespace {

// Only the full names count here; the short aliases belong to the text form.
std::optional<ShortcutModifiers> modifierFromPayloadName(std::string_view name) {
    const auto lowered = asciiLowercased(name);
    if (lowered == "command") return ShortcutModifiers::command;
    if (lowered == "option") return ShortcutModifiers::option;
    if (lowered == "control") return ShortcutModifiers::control;
    if (lowered == "shift") return ShortcutModifiers::shift;
    return std::nullopt;
}

}  // namespace

ShortcutSpecPayload::ShortcutSpecPayload(std::string kind, std::optional<std::uint16_t> keyCode,
                                         std::vector<std::string> modifiers, std::string display)
    : kind(std::move(kind)), keyCode(keyCode), modifiers(std::move(modifiers)), display(std::move(display)) {}

ShortcutSpecPayload::ShortcutSpecPayload(const ShortcutChoice& shortcut) {
    if (shortcut.isFunction()) {
        kind = "fn";
        display = "Fn/Globe";
        return;
    }
    kind = "chord";
    keyCode = shortcut.keyCode();
    modifiers = names(shortcut.modifiers());
    display = displayString(shortcut.keyCode(), shortcut.modifiers());
}

std::optional<ShortcutChoice> ShortcutSpecPayload::decodedShortcut() const {
    if (kind == "fn") {
        if (keyCode || !modifiers.empty()) return std::nullopt;
        return ShortcutChoice::function();
    }
    if (kind != "chord") return std::nullopt;
    if (!keyCode || *keyCode >= kChordKeyCodeLimit || isModifierKeyCode(*keyCode)) return std::nullopt;
    if (modifiers.empty()) return std::nullopt;
    // Duplicates are judged as given: "Command" and "command" are two names.
    if (std::set<std::string>(modifiers.begin(), modifiers.end()).size() != modifiers.size()) return std::nullopt;
    ShortcutModifiers required;
    for (const auto& name : modifiers) {
        const auto member = modifierFromPayloadName(name);
        if (!member) return std::nullopt;
        required = required | *member;
    }
    return ShortcutChoice::chord(*keyCode, required);
}

std::vector<std::string> ShortcutSpecPayload::names(ShortcutModifiers modifiers) {
    std::vector<std::string> result;
    if (modifiers.contains(ShortcutModifiers::control)) result.emplace_back("control");
    if (modifiers.contains(ShortcutModifiers::option)) result.emplace_back("option");
    if (modifiers.contains(ShortcutModifiers::shift)) result.emplace_back("shift");
    if (modifiers.contains(ShortcutModifiers::command)) result.emplace_back("command");
    return result;
}

std::string ShortcutSpecPayload::displayString(std::uint16_t keyCode, ShortcutModifiers modifiers) {
    std::string result;
    if (modifiers.contains(ShortcutModifiers::control)) result += "\u2303";
    if (modifiers.contains(ShortcutModifiers::option)) result += "\u2325";
    if (modifiers.contains(ShortcutModifiers::shift)) result += "\u21E7";
    if (modifiers.contains(ShortcutModifiers::command)) result += "\u2318";
    result += keyName(keyCode);
    return result;
}

json::Json ShortcutSpecPayload::toJSON() const {
    json::Json object = {{"kind", kind}, {"modifiers", modifiers}, {"display", display}};
    if (keyCode) object["key_code"] = *keyCode;
    return object;
}

Result<std::string> ShortcutSpecPayload::encoded() const {
    nlohmann::ordered_json object;
    object["kind"] = kind;
    object["modifiers"] = modifiers;
    object["display"] = display;
    if (keyCode) object["key_code"] = *keyCode;
    try {
        return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
    } catch (const nlohmann::ordered_json::exception& error) {
        return fail(json::jsonError(json::JsonErrorCode::invalidJSON, error.what()));
    }
}

Result<ShortcutSpecPayload> ShortcutSpecPayload::fromJSON(const json::Json& object) {
    auto kind = json::requiredString(object, "kind");
    if (!kind) return fail(kind.error());
    auto modifierList = json::requiredArray(object, "modifiers");
    if (!modifierList) return fail(modifierList.error());
    auto display = json::requiredString(object, "display");
    if (!display) return fail(display.error());
    auto keyCode = json::optionalInteger<std::uint16_t>(object, "key_code");
    if (!keyCode) return fail(keyCode.error());

    std::vector<std::string> modifiers;
    for (const auto& element : **modifierList) {
        if (!element.is_string()) {
            return fail(json::jsonError(json::JsonErrorCode::typeMismatch, "key \"modifiers\" holds a non-string"));
        }
        modifiers.push_back(element.get<std::string>());
    }
    return ShortcutSpecPayload(std::move(*kind), *keyCode, std::move(modifiers), std::move(*display));
}

Result<ShortcutSpecPayload> ShortcutSpecPayload::decode(std::string_view text) {
    auto object = json::parseObject(text);
    if (!object) return fail(object.error());
    return fromJSON(*object);
}

}  // namespace murmo
