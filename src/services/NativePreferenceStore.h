#pragma once

// Six of the seven native preferences, kept in the user defaults (launch at
// login is the system's registration, not stored here). A missing or
// unreadable value reads as the preference's default; nothing here fails.
// Main thread, used by the preferences controller only.

#include <string_view>

#include "platform/DefaultsStore.h"
#include "services/NativeAppLanguage.h"
#include "services/NativePreferenceTypes.h"

namespace murmo {

class NativePreferenceStore {
public:
    static constexpr std::string_view uiLanguageKey = "Murmo.UI.language";
    static constexpr std::string_view appearanceKey = "Murmo.Appearance.preference";
    static constexpr std::string_view showFlowBarAlwaysKey = "Murmo.Native.showFlowBarAlways";
    static constexpr std::string_view showAppInDockKey = "Murmo.Native.showInDock";
    static constexpr std::string_view feedbackSoundsKey = "Murmo.Native.feedbackSounds";
    static constexpr std::string_view bigModeEnabledKey = "Murmo.UI.bigModeEnabled";

    explicit NativePreferenceStore(DefaultsStore& defaults) : defaults_(defaults) {}

    // The stored flag's boolean reading; `defaultValue` when nothing is
    // stored or the value has no boolean reading.
    bool boolForKey(std::string_view key, bool defaultValue) const;

    NativeAppLanguage uiLanguage() const;
    void setUILanguage(NativeAppLanguage language);
    NativeAppearancePreference appearancePreference() const;
    void setAppearancePreference(NativeAppearancePreference preference);

    bool showFlowBarAlways() const { return boolForKey(showFlowBarAlwaysKey, false); }
    void setShowFlowBarAlways(bool value) { defaults_.set(showFlowBarAlwaysKey, value); }
    bool showAppInDock() const { return boolForKey(showAppInDockKey, false); }
    void setShowAppInDock(bool value) { defaults_.set(showAppInDockKey, value); }
    bool feedbackSoundsEnabled() const { return boolForKey(feedbackSoundsKey, true); }
    void setFeedbackSoundsEnabled(bool value) { defaults_.set(feedbackSoundsKey, value); }
    bool bigModeEnabled() const { return boolForKey(bigModeEnabledKey, false); }
    void setBigModeEnabled(bool value) { defaults_.set(bigModeEnabledKey, value); }

private:
    std::optional<std::string> string(std::string_view key) const;

    DefaultsStore& defaults_;
};

}  // namespace murmo
