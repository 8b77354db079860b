#pragma once

// The main menu bar: the application menu (settings and quit), the Edit menu
// and the View menu with the sidebar toggle. Built once; refreshes change
// only titles.

#include <optional>
#include <string_view>

#include "platform/Menu.h"
#include "services/NativeStringCatalog.h"
#include "shell/bridges/NativeUIStateTypes.h"
#include "shell/menus/NativeEditMenu.h"

namespace murmo {

class MainMenu {
public:
    // The application menu's title, the same in every language.
    static constexpr std::string_view kApplicationTitle = "Dorvex";

    void refreshLocalizedChrome(const NativeLocalizedStrings& strings);
    // "Show Navigation" while the dashboard's sidebar is collapsed, "Hide
    // Navigation" while expanded; nothing changes without a dashboard.
    void refreshSidebarItem(std::optional<NativeSidebarPreference> sidebar, const NativeLocalizedStrings& strings);

    // The three menus in order, each behind the item that opens it.
    Menu menu() const;

private:
    MenuItem settingsItem_ = MenuItem::command(MenuAction::openSettings, ",", MenuModifierMask::command);
    MenuItem quitItem_ = MenuItem::command(MenuAction::quit, "q", MenuModifierMask::command);
    NativeEditMenu editMenu_;
    std::string editMenuItemTitle_;
    std::string viewTitle_;
    MenuItem sidebarItem_ =
        MenuItem::command(MenuAction::toggleSidebar, "s", MenuModifierMask::control | MenuModifierMask::command);
};

}  // namespace murmo
