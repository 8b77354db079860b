#include "shell/menus/ApplicationMenus.h"

namespace murmo {

void ApplicationMenus::refreshLocalizedChrome(const NativeLocalizedStrings& strings,
                                              std::optional<NativeSidebarPreference> sidebar) {
    status_.refreshLocalizedChrome(strings);
    main_.refreshLocalizedChrome(strings);
    refreshSidebarItem(sidebar, strings);
}

void ApplicationMenus::refreshMenu(const std::optional<CoordinatorMenuStatus>& coordinator,
                                   const PermissionSnapshot& permissions, const NativeLaunchAtLoginState& launchAtLogin,
                                   const NativeLocalizedStrings& strings) {
    if (coordinator) status_.refresh(*coordinator, permissions, launchAtLogin, strings);
}

void ApplicationMenus::refreshSidebarItem(std::optional<NativeSidebarPreference> sidebar,
                                          const NativeLocalizedStrings& strings) {
    main_.refreshSidebarItem(sidebar, strings);
}

}  // namespace murmo
