#pragma once

// One request of the dashboard's settings pages about the application's own
// preferences, read from a script message body. It exists only when the whole
// body is acceptable: the exact keys of its action, and for a change a known
// key with a value of the kind and range that key takes.

#include <optional>

#include "runtime/JsonRead.h"
#include "services/NativePreferenceTypes.h"

namespace murmo {

struct NativePreferencesCommand {
    enum class Action {
        // {"action": "get_snapshot"}
        getSnapshot,
        // {"action": "set", "key", "value"}
        set,
        // {"action": "open_login_items_settings"}
        openLoginItemsSettings,
    };

    Action action = Action::getSnapshot;
    // Present for `set` only.
    std::optional<NativePreferenceKey> key;
    std::optional<NativePreferenceValue> value;

    static std::optional<NativePreferencesCommand> fromBody(const std::optional<json::Json>& body);

    bool operator==(const NativePreferencesCommand&) const = default;
};

}  // namespace murmo
