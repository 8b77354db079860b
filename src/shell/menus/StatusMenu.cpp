#include "shell/menus/StatusMenu.h"

#include <string>

namespace murmo {

namespace {

std::string qualified(const std::string& title, const std::string& qualifier) {
    return title + std::string(StatusMenu::kDetailSeparator) + qualifier;
}

}  // namespace

StatusMenu::StatusMenu() = default;

void StatusMenu::refreshLocalizedChrome(const NativeLocalizedStrings& strings) {
    openItem_.title = strings.openMurmo();
    settingsItem_.title = strings.settings();
    microphoneItem_.title = strings.checkMicrophonePermission();
    accessibilityItem_.title = strings.checkAccessibilityPermission();
    inputMonitoringItem_.title = strings.checkInputMonitoringPermission();
    quitItem_.title = strings.quitMurmo();
}

void StatusMenu::refresh(const CoordinatorMenuStatus& coordinator, const PermissionSnapshot& permissions,
                         const NativeLaunchAtLoginState& launchAtLogin, const NativeLocalizedStrings& strings) {
    stateItem_.title = (coordinator.connected ? strings.coreConnected() : strings.coreOffline()) +
                       std::string(kStateSeparator) + permissions.summary(strings.language());
    pauseItem_.title = coordinator.paused ? strings.resumeDictation() : strings.pauseDictation();
    shortcutItem_.title = strings.shortcut() + ": " + coordinator.shortcutDescription;
    refreshLaunchAtLogin(launchAtLogin, strings);
    iconAppearsDisabled_ = coordinator.paused;
}

void StatusMenu::refreshLaunchAtLogin(const NativeLaunchAtLoginState& launchAtLogin,
                                      const NativeLocalizedStrings& strings) {
    const auto title = strings.launchAtLogin();
    launchAtLoginItem_.enabled = true;
    switch (launchAtLogin.status) {
        case NativeLaunchAtLoginStatus::enabled:
            launchAtLoginItem_.state = MenuItemState::on;
            launchAtLoginItem_.title = title;
            return;
        case NativeLaunchAtLoginStatus::disabled:
            launchAtLoginItem_.state = MenuItemState::off;
            launchAtLoginItem_.title = title;
            return;
        case NativeLaunchAtLoginStatus::requiresApproval:
            // Registered, so it counts as on until the user decides.
            launchAtLoginItem_.state = MenuItemState::mixed;
            launchAtLoginItem_.title = qualified(title, strings.awaitingApproval());
            return;
        case NativeLaunchAtLoginStatus::unavailable:
            launchAtLoginItem_.state = MenuItemState::off;
            launchAtLoginItem_.title = qualified(title, strings.unavailable());
            launchAtLoginItem_.enabled = false;
            return;
    }
}

Menu StatusMenu::menu() const {
    return Menu{.title = {},
                .items = {stateItem_, openItem_, MenuItem::separator(), pauseItem_, settingsItem_, launchAtLoginItem_,
                          MenuItem::separator(), microphoneItem_, accessibilityItem_, inputMonitoringItem_,
                          MenuItem::separator(), shortcutItem_, quitItem_},
                .autoenablesItems = false,
                .delegate = MenuTarget::applicationDelegate};
}

}  // namespace murmo
