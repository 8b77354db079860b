#include "services/NativePreferencesError.h"

namespace murmo {

NativeStringKey NativePreferencesError::catalogKey() const {
    switch (kind) {
        case Case::invalidValue: return NativeStringKey::nativePreferenceInvalid;
        case Case::dockPolicyChangeFailed: return NativeStringKey::dockVisibilityChangeFailed;
        case Case::launchAtLoginUnavailable: return NativeStringKey::launchAtLoginUnavailable;
        case Case::launchAtLoginChangeFailed: return NativeStringKey::launchAtLoginChangeFailed;
    }
    return NativeStringKey::nativePreferenceInvalid;
}

std::string NativePreferencesError::localizedDescription(NativeAppLanguage language) const {
    return NativeStringCatalog::value(catalogKey(), language);
}

std::string NativePreferencesError::logDescription() const {
    return detail.empty() ? errorDescription() : errorDescription() + ": " + detail;
}

}  // namespace murmo
