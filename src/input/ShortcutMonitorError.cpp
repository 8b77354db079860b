#include "input/ShortcutMonitorError.h"

namespace murmo {

NativeStringKey nativeStringKey(ShortcutMonitorError error) {
    switch (error) {
        case ShortcutMonitorError::inputMonitoringPermissionRequired:
            return NativeStringKey::shortcutInputMonitoringRequired;
        case ShortcutMonitorError::accessibilityPermissionRequired:
            return NativeStringKey::shortcutAccessibilityRequired;
        case ShortcutMonitorError::eventTapUnavailable: return NativeStringKey::shortcutEventTapUnavailable;
    }
    return NativeStringKey::shortcutEventTapUnavailable;
}

std::string localizedDescription(ShortcutMonitorError error, NativeAppLanguage language) {
    return NativeStringCatalog::value(nativeStringKey(error), language);
}

std::string errorDescription(ShortcutMonitorError error) {
    return localizedDescription(error, NativeAppLanguage::english);
}

}  // namespace murmo
