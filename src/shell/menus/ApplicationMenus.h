#pragma once

// Both menus of the application, as the application delegate keeps them:
// the status menu and the main menu bar, refreshed together when the
// interface language changes.

#include <optional>

#include "services/NativePreferenceTypes.h"
#include "services/NativeStringCatalog.h"
#include "services/PermissionSnapshot.h"
#include "shell/bridges/NativeUIStateTypes.h"
#include "shell/menus/CoordinatorMenuStatus.h"
#include "shell/menus/MainMenu.h"
#include "shell/menus/StatusMenu.h"

namespace murmo {

class ApplicationMenus {
public:
    // Every fixed title of both menus, then the sidebar item. `sidebar` is
    // the dashboard's sidebar preference, absent while there is no dashboard.
    void refreshLocalizedChrome(const NativeLocalizedStrings& strings, std::optional<NativeSidebarPreference> sidebar);
    // The status menu's changing lines; nothing changes while there is no
    // coordinator.
    void refreshMenu(const std::optional<CoordinatorMenuStatus>& coordinator, const PermissionSnapshot& permissions,
                     const NativeLaunchAtLoginState& launchAtLogin, const NativeLocalizedStrings& strings);
    void refreshSidebarItem(std::optional<NativeSidebarPreference> sidebar, const NativeLocalizedStrings& strings);

    const StatusMenu& status() const { return status_; }
    const MainMenu& main() const { return main_; }

private:
    StatusMenu status_;
    MainMenu main_;
};

}  // namespace murmo
