#pragma once

#include <array>
#include <string_view>

namespace murmo {

// What choosing a menu item asks for. The first nine are the application's
// own commands, sent to the application delegate; the Edit menu's standard
// actions go to whatever holds the keyboard focus.
enum class MenuAction {
    openDashboard,
    togglePause,
    openSettings,
    toggleLaunchAtLogin,
    requestMic,
    requestAccessibility,
    requestInput,
    toggleSidebar,
    quit,
    undo,
    redo,
    cut,
    copy,
    paste,
    selectAll,
};

inline constexpr std::array kAllMenuActions{
    MenuAction::openDashboard, MenuAction::togglePause,
    MenuAction::openSettings,  MenuAction::toggleLaunchAtLogin,
    MenuAction::requestMic,    MenuAction::requestAccessibility,
    MenuAction::requestInput,  MenuAction::toggleSidebar,
    MenuAction::quit,          MenuAction::undo,
    MenuAction::redo,          MenuAction::cut,
    MenuAction::copy,          MenuAction::paste,
    MenuAction::selectAll,
};

// The selector a platform menu sends: the command's name ("togglePause"), or
// the standard editing selector with its colon ("undo:").
std::string_view rawValue(MenuAction action);
// True for the Edit menu's standard actions.
bool isStandardEditAction(MenuAction action);

}  // namespace murmo
