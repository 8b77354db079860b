#pragma once

// The decisions behind the menu commands that depend only on what the shell
// already knows; carrying them out is the application delegate's part.

#include <optional>

#include "platform/MenuAction.h"
#include "services/NativePreferenceTypes.h"
#include "services/PermissionSnapshot.h"
#include "shell/bridges/NativeSettingsBridge.h"
#include "shell/bridges/NativeUIStateTypes.h"

namespace murmo {

struct MenuActionRules {
    enum class PauseCommand { pause, resume };

    // The settings section the menus open.
    static constexpr NativeSettingsSection kSettingsSection = NativeSettingsSection::general;

    // Resume while paused, else pause.
    static PauseCommand pauseCommand(bool paused);
    // The value to ask for: the opposite of what counts as on now (a
    // registration awaiting approval counts as on, so it is turned off).
    static bool launchAtLoginRequest(const NativeLaunchAtLoginState& current);
    // The permission a permission check asks for; nothing for other actions.
    static std::optional<NativePermissionKind> requestedPermission(MenuAction action);
    // What toggling stores: expanded after collapsed, collapsed otherwise.
    static NativeSidebarPreference sidebarAfterToggle(NativeSidebarPreference stored);
};

}  // namespace murmo
