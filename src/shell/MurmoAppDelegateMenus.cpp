// The application delegate's menus: building the status item and the main
// menu bar once, refreshing their texts and states, and carrying out the
// nine commands.

#include "shell/MurmoAppDelegate.h"
#include "shell/menus/CoordinatorMenuStatus.h"
#include "shell/menus/LaunchAtLoginFailureAlert.h"
#include "shell/menus/MenuActionRules.h"

namespace murmo {

namespace {

AlertStyle alertStyle(MenuAlert::Style style) {
    switch (style) {
        case MenuAlert::Style::informational: return AlertStyle::informational;
        case MenuAlert::Style::warning: return AlertStyle::warning;
        case MenuAlert::Style::critical: return AlertStyle::critical;
    }
    return AlertStyle::warning;
}

StatusItemImage statusItemImage() {
    return StatusItemImage{
        .candidates = {ImageSource::bundleResource(std::string(StatusMenu::kIconResource)),
                       ImageSource::symbol(std::string(StatusMenu::kFallbackSymbol))},
        .sidePoints = StatusMenu::kIconPoints,
        .isTemplate = true,
        .accessibilityDescription = std::string(StatusMenu::kIconDescription),
    };
}

}  // namespace

void MurmoAppDelegate::buildApplicationMenu() {
    publishMainMenu();
    refreshLocalizedChrome(preferences_->snapshot().uiLanguage);
    refreshSidebarMenuItem();
}

void MurmoAppDelegate::buildStatusItem() {
    statusItem_ = ports_.statusBar.makeSquareStatusItem();
    statusItem_->setImage(statusItemImage());
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    statusItem_->setHandlers(StatusItemHandlers{
        .menuWillOpen =
            [weak] {
                if (auto self = weak.lock()) self->menuWillOpen();
            },
        .onChoose =
            [weak](MenuAction action) {
                if (auto self = weak.lock()) self->perform(action);
            },
    });
    publishStatusMenu();
    refreshLocalizedChrome(preferences_->snapshot().uiLanguage);
    refreshMenu();
}

void MurmoAppDelegate::publishStatusMenu() {
    if (!statusItem_) return;
    statusItem_->setMenu(menus_.status().menu());
    statusItem_->setAppearsDisabled(menus_.status().iconAppearsDisabled());
}

void MurmoAppDelegate::publishMainMenu() { ports_.chrome.setMainMenu(menus_.main().menu()); }

void MurmoAppDelegate::refreshLocalizedChrome(NativeAppLanguage language) {
    const auto sidebar = dashboard_ ? std::optional(dashboard_->sidebarPreference()) : std::nullopt;
    menus_.refreshLocalizedChrome(strings(resolvedLanguage(language)), sidebar);
    publishMainMenu();
    publishStatusMenu();
}

void MurmoAppDelegate::refreshSidebarMenuItem() {
    if (!dashboard_) return;
    menus_.refreshSidebarItem(dashboard_->sidebarPreference(), strings(currentLanguage()));
    publishMainMenu();
}

void MurmoAppDelegate::refreshMenu() {
    if (!coordinator_) return;
    const auto language = currentLanguage();
    menus_.refreshMenu(CoordinatorMenuStatus::read(*coordinator_, language), ports_.permissions->snapshot(),
                       preferences_->snapshot().launchAtLogin, strings(language));
    publishStatusMenu();
}

void MurmoAppDelegate::menuWillOpen() {
    preferences_->refreshExternalState();
    refreshMenu();
}

void MurmoAppDelegate::perform(MenuAction action) {
    switch (action) {
        case MenuAction::openDashboard:
            if (dashboard_) dashboard_->showDashboard();
            return;
        case MenuAction::togglePause:
            if (!coordinator_) return;
            if (MenuActionRules::pauseCommand(coordinator_->paused()) == MenuActionRules::PauseCommand::resume) {
                coordinator_->resume();
            } else {
                coordinator_->pause();
            }
            return;
        case MenuAction::openSettings: openSettings(MenuActionRules::kSettingsSection); return;
        case MenuAction::toggleLaunchAtLogin: toggleLaunchAtLogin(); return;
        case MenuAction::requestMic:
        case MenuAction::requestAccessibility:
        case MenuAction::requestInput:
            if (const auto kind = MenuActionRules::requestedPermission(action)) requestPermission(*kind);
            return;
        case MenuAction::toggleSidebar:
            if (dashboard_) dashboard_->toggleSidebar();
            return;
        case MenuAction::quit: ports_.chrome.terminate(); return;
        default:
            // The Edit menu's actions belong to whatever holds the keyboard
            // focus, never to the application.
            return;
    }
}

void MurmoAppDelegate::openSettings(std::optional<NativeSettingsSection> section) {
    if (!dashboard_) return;
    dashboard_->setPendingSettingsSection(section.value_or(NativeSettingsSection::general));
    dashboard_->showDashboard();
    dashboard_->selectPendingSettings();
}

void MurmoAppDelegate::toggleLaunchAtLogin() {
    const auto request = MenuActionRules::launchAtLoginRequest(preferences_->snapshot().launchAtLogin);
    const auto change = preferences_->setLaunchAtLogin(request);
    if (!change) {
        ports_.log.error("{}", logPublic(LaunchAtLoginFailureAlert::logLine(change.error())));
        const auto alert = LaunchAtLoginFailureAlert::make(strings(currentLanguage()));
        ports_.alerts.showAlert(AlertRequest{.style = alertStyle(alert.style),
                                             .messageText = alert.messageText,
                                             .informativeText = alert.informativeText},
                                [](AlertResponse) {});
    }
    preferences_->refreshExternalState();
    refreshMenu();
}

void MurmoAppDelegate::requestPermission(NativePermissionKind kind) {
    const std::weak_ptr<MurmoAppDelegate> weak = weak_from_this();
    ports_.permissions->request(kind, [weak](const PermissionSnapshot&) {
        if (auto self = weak.lock()) self->refreshPermissions();
    });
}

void MurmoAppDelegate::refreshPermissions() {
    if (coordinator_) coordinator_->retryShortcutMonitorAfterPermissionChange();
    refreshMenu();
}

}  // namespace murmo
