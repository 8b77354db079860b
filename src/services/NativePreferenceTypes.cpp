#include "services/NativePreferenceTypes.h"

#include <algorithm>

namespace murmo {

namespace {

template <class Enum, std::size_t Count>
std::optional<Enum> fromRawValue(const std::array<Enum, Count>& all, std::string_view text) {
    const auto found = std::ranges::find_if(all, [&](Enum value) { return rawValue(value) == text; });
    if (found == all.end()) return std::nullopt;
    return *found;
}

}  // namespace

std::string_view rawValue(NativePreferenceKey key) {
    switch (key) {
        case NativePreferenceKey::uiLanguage: return "ui_language";
        case NativePreferenceKey::appearancePreference: return "appearance_preference";
        case NativePreferenceKey::showFlowBarAlways: return "show_flow_bar_always";
        case NativePreferenceKey::showAppInDock: return "show_app_in_dock";
        case NativePreferenceKey::feedbackSoundsEnabled: return "feedback_sounds_enabled";
        case NativePreferenceKey::bigModeEnabled: return "big_mode_enabled";
        case NativePreferenceKey::launchAtLogin: return "launch_at_login";
    }
    return {};
}

std::optional<NativePreferenceKey> nativePreferenceKeyFromRawValue(std::string_view text) {
    return fromRawValue(kAllNativePreferenceKeys, text);
}

std::string_view rawValue(NativeAppearancePreference preference) {
    switch (preference) {
        case NativeAppearancePreference::system: return "system";
        case NativeAppearancePreference::light: return "light";
        case NativeAppearancePreference::dark: return "dark";
        case NativeAppearancePreference::black: return "black";
    }
    return {};
}

std::optional<NativeAppearancePreference> nativeAppearancePreferenceFromRawValue(std::string_view text) {
    return fromRawValue(kAllNativeAppearancePreferences, text);
}

std::string_view rawValue(NativeResolvedAppearance appearance) {
    switch (appearance) {
        case NativeResolvedAppearance::light: return "light";
        case NativeResolvedAppearance::dark: return "dark";
        case NativeResolvedAppearance::black: return "black";
    }
    return {};
}

std::string_view colorScheme(NativeResolvedAppearance appearance) {
    return appearance == NativeResolvedAppearance::light ? "light" : "dark";
}

json::Json NativeAppearanceState::bridgePayload() const {
    return json::Json{
        {"preference", rawValue(preference)}, {"resolved", rawValue(resolved)}, {"color_scheme", colorScheme()}};
}

std::string_view rawValue(NativeLaunchAtLoginStatus status) {
    switch (status) {
        case NativeLaunchAtLoginStatus::enabled: return "enabled";
        case NativeLaunchAtLoginStatus::disabled: return "disabled";
        case NativeLaunchAtLoginStatus::requiresApproval: return "requires_approval";
        case NativeLaunchAtLoginStatus::unavailable: return "unavailable";
    }
    return {};
}

json::Json NativeLaunchAtLoginState::bridgePayload() const {
    return json::Json{{"value", value}, {"status", rawValue(status)}};
}

}  // namespace murmo
