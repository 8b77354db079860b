#include "services/NativePreferencesSnapshot.h"

namespace murmo {

json::Json NativePreferencesSnapshot::bridgePayload() const {
    return json::Json{
        {"revision", revision},
        {"ui_language", rawValue(uiLanguagePreference)},
        {"ui_language_preference", rawValue(uiLanguagePreference)},
        {"resolved_ui_language", rawValue(uiLanguage)},
        {"ui_direction", uiDirection() == NativeLanguageDirection::rightToLeft ? "rtl" : "ltr"},
        {"appearance", appearance.bridgePayload()},
        {"launch_at_login", launchAtLogin.bridgePayload()},
        {"show_flow_bar_always", showFlowBarAlways},
        {"show_app_in_dock", showAppInDock},
        {"feedback_sounds_enabled", feedbackSoundsEnabled},
        {"big_mode_enabled", bigModeEnabled},
        {"native_available", true},
    };
}

}  // namespace murmo
