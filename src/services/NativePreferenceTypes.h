#pragma once

// The vocabulary of the application's own preferences: keys, values, and the
// appearance and launch-at-login states with their JSON forms for the page.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "runtime/JsonRead.h"

namespace murmo {

enum class NativePreferenceKey {
    uiLanguage,
    appearancePreference,
    showFlowBarAlways,
    showAppInDock,
    feedbackSoundsEnabled,
    bigModeEnabled,
    launchAtLogin,
};

inline constexpr std::array kAllNativePreferenceKeys{
    NativePreferenceKey::uiLanguage,
    NativePreferenceKey::appearancePreference,
    NativePreferenceKey::showFlowBarAlways,
    NativePreferenceKey::showAppInDock,
    NativePreferenceKey::feedbackSoundsEnabled,
    NativePreferenceKey::bigModeEnabled,
    NativePreferenceKey::launchAtLogin,
};

// The page's JSON key ("ui_language", ...).
std::string_view rawValue(NativePreferenceKey key);
std::optional<NativePreferenceKey> nativePreferenceKeyFromRawValue(std::string_view rawValue);

// A text or a flag; one never stands in for the other.
using NativePreferenceValue = std::variant<std::string, bool>;

enum class NativeAppearancePreference { system, light, dark, black };
inline constexpr std::array kAllNativeAppearancePreferences{
    NativeAppearancePreference::system, NativeAppearancePreference::light, NativeAppearancePreference::dark,
    NativeAppearancePreference::black};
std::string_view rawValue(NativeAppearancePreference preference);
std::optional<NativeAppearancePreference> nativeAppearancePreferenceFromRawValue(std::string_view rawValue);

enum class NativeResolvedAppearance { light, dark, black };
std::string_view rawValue(NativeResolvedAppearance appearance);
// "light" for light, "dark" for dark and black.
std::string_view colorScheme(NativeResolvedAppearance appearance);

struct NativeAppearanceState {
    NativeAppearancePreference preference = NativeAppearancePreference::system;
    NativeResolvedAppearance resolved = NativeResolvedAppearance::light;

    std::string_view colorScheme() const { return murmo::colorScheme(resolved); }
    // {"preference", "resolved", "color_scheme"}
    json::Json bridgePayload() const;
    bool operator==(const NativeAppearanceState&) const = default;
};

enum class NativeLaunchAtLoginStatus { enabled, disabled, requiresApproval, unavailable };
std::string_view rawValue(NativeLaunchAtLoginStatus status);

struct NativeLaunchAtLoginState {
    // Whether launch at login counts as on; a registration awaiting the
    // user's approval does.
    bool value = false;
    NativeLaunchAtLoginStatus status = NativeLaunchAtLoginStatus::unavailable;

    // {"value", "status"}
    json::Json bridgePayload() const;
    bool operator==(const NativeLaunchAtLoginState&) const = default;
};

}  // namespace murmo
