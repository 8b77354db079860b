#pragma once

// One request of the dashboard about the privacy permissions, read from a
// script message body: the status of all of them, or a request or the
// settings pane for one. It exists only when the body has exactly the keys
// of its action and names one of the three permissions where it must.

#include <optional>

#include "runtime/JsonRead.h"
#include "services/PermissionSnapshot.h"

namespace murmo {

struct NativePermissionCommand {
    enum class Action {
        // {"action": "status"}
        status,
        // {"action": "request", "permission"}
        request,
        // {"action": "open_settings", "permission"}
        openSettings,
    };

    Action action = Action::status;
    // Present for `request` and `openSettings` only.
    std::optional<NativePermissionKind> permission;

    static std::optional<NativePermissionCommand> fromBody(const std::optional<json::Json>& body);

    bool operator==(const NativePermissionCommand&) const = default;
};

}  // namespace murmo
