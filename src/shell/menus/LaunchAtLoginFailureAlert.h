#pragma once

// What the user and the log are told when the launch-at-login item cannot be
// changed from the status menu. The menu is refreshed afterwards either way,
// so it shows what the system reports.

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "services/NativePreferencesError.h"
#include "services/NativeStringCatalog.h"
#include "shell/menus/MenuAlert.h"

namespace murmo {

struct LaunchAtLoginFailureAlert {
    static constexpr std::string_view kLogPrefix = "Dorvex launch-at-login change failed: ";

    // A warning in the interface language: the change failed, check the
    // settings and try again.
    static MenuAlert make(const NativeLocalizedStrings& strings);
    // The alert after a failed change; nothing after a successful one.
    static std::optional<MenuAlert> after(const std::expected<void, NativePreferencesError>& change,
                                          const NativeLocalizedStrings& strings);
    // The log line: the prefix, then the error in English with the system's
    // detail.
    static std::string logLine(const NativePreferencesError& error);
};

}  // namespace murmo
