#pragma once

// The menu behind the square menu-bar icon: the engine connection and
// permission summary, the main commands, the permission checks, the
// dictation shortcut and quit. Built once; refreshes change only titles,
// states and enabling, and the icon's dimmed look while dictation is paused.

#include <string_view>

#include "platform/Menu.h"
#include "services/NativePreferenceTypes.h"
#include "services/NativeStringCatalog.h"
#include "services/PermissionSnapshot.h"
#include "shell/menus/CoordinatorMenuStatus.h"

namespace murmo {

class StatusMenu {
public:
    // The status item's icon: a square item, the bundle's template image at
    // 18 by 18 points, else the system symbol; both described as the name.
    static constexpr double kSquareLength = -2;
    static constexpr std::string_view kIconResource = "MenuBarIcon";
    static constexpr double kIconPoints = 18;
    static constexpr std::string_view kFallbackSymbol = "waveform.circle.fill";
    static constexpr std::string_view kIconDescription = "Dorvex";

    // Between the connection state and the permission summary.
    static constexpr std::string_view kStateSeparator = "  •  ";
    // Between a title and its qualifier ("Launch at Login · Unavailable").
    static constexpr std::string_view kDetailSeparator = " · ";

    // Every item untitled. The application delegate hears when the menu is
    // about to open, and only these refreshes enable or disable its items.
    StatusMenu();

    // The fixed titles in the interface language.
    void refreshLocalizedChrome(const NativeLocalizedStrings& strings);
    // The connection and permission line, pause or resume, the shortcut
    // line, launch at login, and the icon's dimmed look.
    void refresh(const CoordinatorMenuStatus& coordinator, const PermissionSnapshot& permissions,
                 const NativeLaunchAtLoginState& launchAtLogin, const NativeLocalizedStrings& strings);

    // The items in order, separators included.
    Menu menu() const;
    // Dimmed while dictation is paused.
    bool iconAppearsDisabled() const { return iconAppearsDisabled_; }

private:
    void refreshLaunchAtLogin(const NativeLaunchAtLoginState& launchAtLogin, const NativeLocalizedStrings& strings);

    MenuItem stateItem_ = MenuItem::label();
    MenuItem openItem_ = MenuItem::command(MenuAction::openDashboard);
    MenuItem pauseItem_ = MenuItem::command(MenuAction::togglePause);
    MenuItem settingsItem_ = MenuItem::command(MenuAction::openSettings, ",", MenuModifierMask::command);
    MenuItem launchAtLoginItem_ = MenuItem::command(MenuAction::toggleLaunchAtLogin);
    MenuItem microphoneItem_ = MenuItem::command(MenuAction::requestMic);
    MenuItem accessibilityItem_ = MenuItem::command(MenuAction::requestAccessibility);
    MenuItem inputMonitoringItem_ = MenuItem::command(MenuAction::requestInput);
    MenuItem shortcutItem_ = MenuItem::label();
    MenuItem quitItem_ = MenuItem::command(MenuAction::quit, "q", MenuModifierMask::command);
    bool iconAppearsDisabled_ = false;
};

}  // namespace murmo
