#include "input/ShortcutMonitorError.h"

namespace murmo {

std::string_view errorDescription(ShortcutMonitorError error) {
    switch (error) {
        case ShortcutMonitorError::inputMonitoringPermissionRequired:
            return "Input Monitoring permission is required to listen for the Fn/Globe shortcut in other apps. Open "
                   "macOS Permissions in Dorvex Settings.";
        case ShortcutMonitorError::accessibilityPermissionRequired:
            return "Accessibility permission is required to safely suppress the macOS Globe action for the Fn/Globe "
                   "shortcut.";
        case ShortcutMonitorError::eventTapUnavailable:
            return "The global keyboard listener could not start. Check Input Monitoring and Accessibility "
                   "permissions.";
    }
    return "The global keyboard listener could not start. Check Input Monitoring and Accessibility permissions.";
}

}  // namespace murmo
