#include "shell/bridges/NativeUpdateCommand.h"

#include <array>

#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

using Action = NativeUpdateCommand::Action;

constexpr std::array<BridgeRawValue<Action>, 4> kActions{{
    {"status", Action::status},
    {"check", Action::check},
    {"set_automatic_checks", Action::setAutomaticChecks},
    {"set_automatic_downloads", Action::setAutomaticDownloads},
}};

bool takesSwitch(Action action) {
    return action == Action::setAutomaticChecks || action == Action::setAutomaticDownloads;
}

}  // namespace

std::optional<NativeUpdateCommand> NativeUpdateCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object) return std::nullopt;
    const auto action = object->rawValue<Action>("action", kActions);
    if (!action) return std::nullopt;
    if (!takesSwitch(*action)) {
        if (!object->hasExactKeys({"action"})) return std::nullopt;
        return NativeUpdateCommand{.action = *action, .enabled = std::nullopt};
    }
    if (!object->hasExactKeys({"action", "enabled"})) return std::nullopt;
    const auto enabled = object->boolean("enabled");
    if (!enabled) return std::nullopt;
    return NativeUpdateCommand{.action = *action, .enabled = enabled};
}

}  // namespace murmo
