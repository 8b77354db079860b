#include "shell/menus/MenuActionRules.h"

namespace murmo {

MenuActionRules::PauseCommand MenuActionRules::pauseCommand(bool paused) {
    return paused ? PauseCommand::resume : PauseCommand::pause;
}

bool MenuActionRules::launchAtLoginRequest(const NativeLaunchAtLoginState& current) { return !current.value; }

std::optional<NativePermissionKind> MenuActionRules::requestedPermission(MenuAction action) {
    switch (action) {
        case MenuAction::requestMic: return NativePermissionKind::microphone;
        case MenuAction::requestAccessibility: return NativePermissionKind::accessibility;
        case MenuAction::requestInput: return NativePermissionKind::inputMonitoring;
        default: return std::nullopt;
    }
}

NativeSidebarPreference MenuActionRules::sidebarAfterToggle(NativeSidebarPreference stored) {
    return stored == NativeSidebarPreference::collapsed ? NativeSidebarPreference::expanded
                                                        : NativeSidebarPreference::collapsed;
}

}  // namespace murmo
