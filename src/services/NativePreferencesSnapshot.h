#pragma once

#include <cstdint>

#include "runtime/JsonRead.h"
#include "services/NativeAppLanguage.h"
#include "services/NativePreferenceTypes.h"

namespace murmo {

// Every native preference at one revision: what the page and every window
// read. Built afresh on request.
struct NativePreferencesSnapshot {
    std::int64_t revision = 1;
    // The stored choice, "system" included.
    NativeAppLanguage uiLanguagePreference = NativeAppLanguage::system;
    // The choice resolved against the preferred languages; never "system".
    NativeAppLanguage uiLanguage = NativeAppLanguage::english;
    NativeAppearanceState appearance;
    NativeLaunchAtLoginState launchAtLogin;
    bool showFlowBarAlways = false;
    bool showAppInDock = false;
    bool feedbackSoundsEnabled = true;
    bool bigModeEnabled = false;

    NativeLanguageDirection uiDirection() const { return direction(uiLanguage); }
    // Exactly the page's 12 members.
    json::Json bridgePayload() const;

    bool operator==(const NativePreferencesSnapshot&) const = default;
};

}  // namespace murmo
