#include "shell/bridges/NativeThemeBridge.h"

#include <utility>

#include "services/NativePreferenceTypes.h"
#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

std::optional<NativeResolvedAppearance> resolvedAppearanceFromRawValue(std::string_view text) {
    for (const auto appearance :
         {NativeResolvedAppearance::light, NativeResolvedAppearance::dark, NativeResolvedAppearance::black}) {
        if (rawValue(appearance) == text) return appearance;
    }
    return std::nullopt;
}

}  // namespace

bool NativeThemeCommand::isConsistent(std::string_view preference, std::string_view resolved) {
    const auto chosen = nativeAppearancePreferenceFromRawValue(preference);
    const auto shown = resolvedAppearanceFromRawValue(resolved);
    if (!chosen || !shown) return false;
    switch (*chosen) {
        case NativeAppearancePreference::system:
            return *shown == NativeResolvedAppearance::light || *shown == NativeResolvedAppearance::dark;
        case NativeAppearancePreference::light: return *shown == NativeResolvedAppearance::light;
        case NativeAppearancePreference::dark: return *shown == NativeResolvedAppearance::dark;
        case NativeAppearancePreference::black: return *shown == NativeResolvedAppearance::black;
    }
    return false;
}

std::optional<NativeThemeCommand> NativeThemeCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object || !object->hasExactKeys({"preference", "resolved"})) return std::nullopt;
    const auto preference = object->string("preference");
    const auto resolved = object->string("resolved");
    if (!preference || !resolved || !isConsistent(*preference, *resolved)) return std::nullopt;
    return NativeThemeCommand{std::string(*preference), std::string(*resolved)};
}

std::shared_ptr<NativeThemeBridge> NativeThemeBridge::create(MainLoop& loop, URL coreURL) {
    return std::make_shared<NativeThemeBridge>(Passkey{}, loop, std::move(coreURL));
}

NativeThemeBridge::NativeThemeBridge(Passkey, MainLoop& loop, URL coreURL)
    : loop_(loop), rules_(std::string(kHandlerName), BridgeOriginRule::engine, std::move(coreURL)) {}

ScriptMessageHandler NativeThemeBridge::scriptMessageHandler() {
    return [weak = weak_from_this()](const ScriptMessage& message) {
        if (auto bridge = weak.lock()) bridge->receive(message);
    };
}

void NativeThemeBridge::receive(const ScriptMessage& message) {
    if (!rules_.admits(message)) return;
    auto command = NativeThemeCommand::fromBody(message.body);
    if (!command) return;
    rules_.post(loop_, shared_from_this(), [command = std::move(*command)](NativeThemeBridge& bridge) {
        // A copy: the callback may replace itself while it runs.
        if (const auto callback = bridge.onThemeChanged) callback(command);
    });
}

}  // namespace murmo
