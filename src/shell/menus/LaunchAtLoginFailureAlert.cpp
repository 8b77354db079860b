#include "shell/menus/LaunchAtLoginFailureAlert.h"

namespace murmo {

MenuAlert LaunchAtLoginFailureAlert::make(const NativeLocalizedStrings& strings) {
    return MenuAlert{.style = MenuAlert::Style::warning,
                     .messageText = strings.launchAtLoginChangeFailed(),
                     .informativeText = strings.hudTryAgain()};
}

std::optional<MenuAlert> LaunchAtLoginFailureAlert::after(const std::expected<void, NativePreferencesError>& change,
                                                          const NativeLocalizedStrings& strings) {
    if (change) return std::nullopt;
    return make(strings);
}

std::string LaunchAtLoginFailureAlert::logLine(const NativePreferencesError& error) {
    return std::string(kLogPrefix) + error.logDescription();
}

}  // namespace murmo
