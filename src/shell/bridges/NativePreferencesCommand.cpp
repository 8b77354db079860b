#include "shell/bridges/NativePreferencesCommand.h"

#include <array>
#include <string>

#include "services/NativeAppLanguage.h"
#include "shell/bridges/BridgeMessageBody.h"

namespace murmo {

namespace {

using Action = NativePreferencesCommand::Action;
using Key = NativePreferenceKey;

constexpr std::array<BridgeRawValue<Action>, 3> kActions{{
    {"get_snapshot", Action::getSnapshot},
    {"set", Action::set},
    {"open_login_items_settings", Action::openLoginItemsSettings},
}};

// The value a "set" carries for `key`: a language or appearance by its exact
// raw value, every other key a true JSON boolean.
std::optional<NativePreferenceValue> valueFor(Key key, const BridgeMessageBody& body) {
    switch (key) {
        case Key::uiLanguage: {
            const auto text = body.string("value");
            if (!text || !nativeAppLanguageFromRawValue(*text)) return std::nullopt;
            return NativePreferenceValue{std::string(*text)};
        }
        case Key::appearancePreference: {
            const auto text = body.string("value");
            if (!text || !nativeAppearancePreferenceFromRawValue(*text)) return std::nullopt;
            return NativePreferenceValue{std::string(*text)};
        }
        case Key::showFlowBarAlways:
        case Key::showAppInDock:
        case Key::feedbackSoundsEnabled:
        case Key::bigModeEnabled:
        case Key::launchAtLogin: {
            const auto flag = body.boolean("value");
            if (!flag) return std::nullopt;
            return NativePreferenceValue{*flag};
        }
    }
    return std::nullopt;
}

std::optional<NativePreferencesCommand> parseSet(const BridgeMessageBody& body) {
    if (!body.hasExactKeys({"action", "key", "value"})) return std::nullopt;
    const auto keyText = body.string("key");
    const auto key = keyText ? nativePreferenceKeyFromRawValue(*keyText) : std::nullopt;
    if (!key) return std::nullopt;
    auto value = valueFor(*key, body);
    if (!value) return std::nullopt;
    return NativePreferencesCommand{.action = Action::set, .key = key, .value = std::move(value)};
}

}  // namespace

std::optional<NativePreferencesCommand> NativePreferencesCommand::fromBody(const std::optional<json::Json>& body) {
    const auto object = BridgeMessageBody::of(body);
    if (!object) return std::nullopt;
    const auto action = object->rawValue<Action>("action", kActions);
    if (!action) return std::nullopt;
    if (*action == Action::set) return parseSet(*object);
    if (!object->hasExactKeys({"action"})) return std::nullopt;
    return NativePreferencesCommand{.action = *action, .key = std::nullopt, .value = std::nullopt};
}

}  // namespace murmo
