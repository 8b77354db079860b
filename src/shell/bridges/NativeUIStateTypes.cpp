#include "shell/bridges/NativeUIStateTypes.h"

#include <algorithm>
#include <cmath>

#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

constexpr std::array<BridgeRawValue<NativeSidebarPreference>, 2> kSidebarPreferences{{
    {"expanded", NativeSidebarPreference::expanded},
    {"collapsed", NativeSidebarPreference::collapsed},
}};

}  // namespace

std::string_view rawValue(NativeSidebarPreference preference) {
    return preference == NativeSidebarPreference::collapsed ? "collapsed" : "expanded";
}

std::optional<NativeSidebarPreference> nativeSidebarPreferenceFromRawValue(std::string_view text) {
    for (const auto& candidate : kSidebarPreferences) {
        if (candidate.raw == text) return candidate.value;
    }
    return std::nullopt;
}

std::optional<NativeUIStateCommand> NativeUIStateCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"sidebar"})) return std::nullopt;
    const auto sidebar = object->rawValue<NativeSidebarPreference>("sidebar", kSidebarPreferences);
    if (!sidebar) return std::nullopt;
    return NativeUIStateCommand{*sidebar};
}

std::optional<NativeSidebarWidthCommand> NativeSidebarWidthCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"sidebarWidth"})) return std::nullopt;
    const auto width = object->number("sidebarWidth");
    // NaN fails both comparisons; infinity fails the upper bound.
    if (!width || !std::isfinite(*width) || !(*width >= 0 && *width <= maximumWidth)) return std::nullopt;
    return NativeSidebarWidthCommand{*width};
}

bool NativeSidebarCardDismissCommand::isAllowed(std::string_view cardID) {
    return std::ranges::find(allowedIDs, cardID) != allowedIDs.end();
}

std::optional<NativeSidebarCardDismissCommand> NativeSidebarCardDismissCommand::fromBody(
    const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"dismissCard"})) return std::nullopt;
    const auto cardID = object->string("dismissCard");
    if (!cardID || !isAllowed(*cardID)) return std::nullopt;
    return NativeSidebarCardDismissCommand{std::string(*cardID)};
}

}  // namespace murmo
