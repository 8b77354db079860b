#pragma once

// One request of the dashboard about the application's own software updates,
// read from a script message body: the status, an immediate check, or one of
// the two automatic-update switches. It exists only when the body has exactly
// the keys of its action, and a switch's "enabled" is a true JSON boolean.

#include <optional>

#include "runtime/JsonRead.h"

namespace murmo {

struct NativeUpdateCommand {
    enum class Action {
        // {"action": "status"}
        status,
        // {"action": "check"}
        check,
        // {"action": "set_automatic_checks", "enabled"}
        setAutomaticChecks,
        // {"action": "set_automatic_downloads", "enabled"}
        setAutomaticDownloads,
    };

    Action action = Action::status;
    // Present for the two switches only.
    std::optional<bool> enabled;

    static std::optional<NativeUpdateCommand> fromBody(const std::optional<json::Json>& body);

    bool operator==(const NativeUpdateCommand&) const = default;
};

}  // namespace murmo
