#include "services/NativePreferenceStore.h"

#include "platform/DefaultsReadings.h"

namespace murmo {

bool NativePreferenceStore::boolForKey(std::string_view key, bool defaultValue) const {
    const auto stored = defaults_.value(key);
    if (!stored) return defaultValue;
    return defaultsBoolReading(*stored).value_or(defaultValue);
}

std::optional<std::string> NativePreferenceStore::string(std::string_view key) const {
    const auto stored = defaults_.value(key);
    return stored ? defaultsStringReading(*stored) : std::nullopt;
}

NativeAppLanguage NativePreferenceStore::uiLanguage() const {
    const auto text = string(uiLanguageKey);
    return text ? nativeAppLanguageFromRawValue(*text).value_or(NativeAppLanguage::system) : NativeAppLanguage::system;
}

void NativePreferenceStore::setUILanguage(NativeAppLanguage language) {
    defaults_.set(uiLanguageKey, std::string(rawValue(language)));
}

NativeAppearancePreference NativePreferenceStore::appearancePreference() const {
    const auto text = string(appearanceKey);
    return text ? nativeAppearancePreferenceFromRawValue(*text).value_or(NativeAppearancePreference::system)
                : NativeAppearancePreference::system;
}

void NativePreferenceStore::setAppearancePreference(NativeAppearancePreference preference) {
    defaults_.set(appearanceKey, std::string(rawValue(preference)));
}

}  // namespace murmo
