#include "shell/menus/MainMenu.h"

#include <string>

namespace murmo {

void MainMenu::refreshLocalizedChrome(const NativeLocalizedStrings& strings) {
    settingsItem_.title = strings.settings();
    quitItem_.title = strings.quitMurmo();
    viewTitle_ = strings.view();
    editMenu_.localize(strings.language());
    editMenuItemTitle_ = editMenu_.title();
}

void MainMenu::refreshSidebarItem(std::optional<NativeSidebarPreference> sidebar,
                                  const NativeLocalizedStrings& strings) {
    if (!sidebar) return;
    sidebarItem_.title =
        *sidebar == NativeSidebarPreference::collapsed ? strings.showNavigation() : strings.hideNavigation();
}

Menu MainMenu::menu() const {
    const std::string applicationTitle(kApplicationTitle);
    Menu application;
    application.title = applicationTitle;
    application.items = {settingsItem_, MenuItem::separator(), quitItem_};
    Menu view;
    view.title = viewTitle_;
    view.items = {sidebarItem_};
    Menu bar;
    bar.items = {MenuItem::opening(applicationTitle, std::move(application)),
                 MenuItem::opening(editMenuItemTitle_, editMenu_.menu()),
                 MenuItem::opening(viewTitle_, std::move(view))};
    return bar;
}

}  // namespace murmo
