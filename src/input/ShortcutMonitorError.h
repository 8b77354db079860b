#pragma once

#include <string>
#include <string_view>

namespace murmo {

// Why the global shortcut router or the shortcut capture could not start.
enum class ShortcutMonitorError {
    inputMonitoringPermissionRequired = 1,
    accessibilityPermissionRequired = 2,
    eventTapUnavailable = 3,
};

// The English text, for logs.
std::string_view errorDescription(ShortcutMonitorError error);

}  // namespace murmo
