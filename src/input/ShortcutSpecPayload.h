#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/Shortcut.h"
#include "runtime/Error.h"
#include "runtime/JsonRead.h"

namespace murmo {

// A shortcut as the engine and the stored settings describe it in JSON:
// {"kind": "fn" | "chord", "modifiers": [...], "display": "...", "key_code": n}.
// Decoding checks only the shape; decodedShortcut() says whether it is a
// shortcut this application can watch.
struct ShortcutSpecPayload {
    std::string kind;
    // A chord's virtual key code; absent for "fn".
    std::optional<std::uint16_t> keyCode;
    // A chord's modifier names; empty for "fn".
    std::vector<std::string> modifiers;
    // Human-readable form, e.g. "⇧⌘Return" or "Fn/Globe".
    std::string display;

    ShortcutSpecPayload() = default;
    ShortcutSpecPayload(std::string kind, std::optional<std::uint16_t> keyCode, std::vector<std::string> modifiers,
                        std::string display);
    explicit ShortcutSpecPayload(const ShortcutChoice& shortcut);

    bool operator==(const ShortcutSpecPayload&) const = default;

    // The shortcut this payload names, or nothing when it is not a valid one.
    std::optional<ShortcutChoice> decodedShortcut() const;

    // "control", "option", "shift", "command", in that order, for the members set.
    static std::vector<std::string> names(ShortcutModifiers modifiers);
    // The modifier symbols (⌃⌥⇧⌘) then the key's name, without separators.
    static std::string displayString(std::uint16_t keyCode, ShortcutModifiers modifiers);

    // The JSON object (for embedding in a larger body).
    json::Json toJSON() const;
    // The JSON text with its keys in the order kind, modifiers, display, key_code.
    Result<std::string> encoded() const;
    // Requires "kind", "modifiers" (strings) and "display"; "key_code" may be
    // absent or null. A key code outside 0...65535 is an error, never wrapped.
    static Result<ShortcutSpecPayload> fromJSON(const json::Json& object);
    static Result<ShortcutSpecPayload> decode(std::string_view text);
};

}  // namespace murmo
