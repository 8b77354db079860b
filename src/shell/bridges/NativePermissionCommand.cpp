#include "shell/bridges/NativePermissionCommand.h"

#include <array>

#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

using Action = NativePermissionCommand::Action;

constexpr std::array<BridgeRawValue<Action>, 3> kActions{{
    {"status", Action::status},
    {"request", Action::request},
    {"open_settings", Action::openSettings},
}};

}  // namespace

std::optional<NativePermissionCommand> NativePermissionCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object) return std::nullopt;
    const auto action = object->rawValue<Action>("action", kActions);
    if (!action) return std::nullopt;
    if (*action == Action::status) {
        if (!object->hasExactKeys({"action"})) return std::nullopt;
        return NativePermissionCommand{.action = *action, .permission = std::nullopt};
    }
    if (!object->hasExactKeys({"action", "permission"})) return std::nullopt;
    const auto text = object->string("permission");
    const auto permission = text ? nativePermissionKindFromRawValue(*text) : std::nullopt;
    if (!permission) return std::nullopt;
    return NativePermissionCommand{.action = *action, .permission = permission};
}

}  // namespace murmo
