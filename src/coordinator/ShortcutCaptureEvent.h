#pragma once

// The shortcut an engine event names when a capture completed: an object with
// the string "kind", the string "display" and the array "modifiers" of
// strings only. "key_code" counts only as a whole number from 0 to 255; any
// other value is treated as absent. Anything else does not decode.

#include <optional>

#include "engine/JSONValue.h"
#include "input/ShortcutSpecPayload.h"

namespace murmo {

std::optional<ShortcutSpecPayload> shortcutFromEvent(const JSONValue::Object& data);

}  // namespace murmo
