#include "platform/MenuAction.h"

namespace murmo {

std::string_view rawValue(MenuAction action) {
    switch (action) {
        case MenuAction::openDashboard: return "openDashboard";
        case MenuAction::togglePause: return "togglePause";
        case MenuAction::openSettings: return "openSettings";
        case MenuAction::toggleLaunchAtLogin: return "toggleLaunchAtLogin";
        case MenuAction::requestMic: return "requestMic";
        case MenuAction::requestAccessibility: return "requestAccessibility";
        case MenuAction::requestInput: return "requestInput";
        case MenuAction::toggleSidebar: return "toggleSidebar";
        case MenuAction::quit: return "quit";
        case MenuAction::undo: return "undo:";
        case MenuAction::redo: return "redo:";
        case MenuAction::cut: return "cut:";
        case MenuAction::copy: return "copy:";
        case MenuAction::paste: return "paste:";
        case MenuAction::selectAll: return "selectAll:";
    }
    return {};
}

bool isStandardEditAction(MenuAction action) {
    switch (action) {
        case MenuAction::undo:
        case MenuAction::redo:
        case MenuAction::cut:
        case MenuAction::copy:
        case MenuAction::paste:
        case MenuAction::selectAll: return true;
        default: return false;
    }
}

}  // namespace murmo
