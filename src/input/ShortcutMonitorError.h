#pragma once

#include <string>

#include "services/NativeAppLanguage.h"
#include "services/NativeStringCatalog.h"

namespace murmo {

// Why the global shortcut router or the shortcut capture could not start.
enum class ShortcutMonitorError {
    inputMonitoringPermissionRequired = 1,
    accessibilityPermissionRequired = 2,
    eventTapUnavailable = 3,
};

// The catalog text that explains the error to the user.
NativeStringKey nativeStringKey(ShortcutMonitorError error);
// The user's message in the interface language ("system" is resolved against
// the current preferred languages).
std::string localizedDescription(ShortcutMonitorError error, NativeAppLanguage language);
// The English message, for logs.
std::string errorDescription(ShortcutMonitorError error);

}  // namespace murmo
