#include "platform/linux/AtspiRoles.h"

#include <atspi/atspi-constants.h>

#include <array>
#include <utility>

namespace murmo {

namespace {

struct RoleRow {
    AtspiRole atspi;
    AXRoleNames names;
};

constexpr std::string_view kTextField = "AXTextField";
constexpr std::string_view kTextArea = "AXTextArea";

constexpr std::array kRoleTable{
    RoleRow{ATSPI_ROLE_PASSWORD_TEXT, {kTextField, "AXSecureTextField"}},
    RoleRow{ATSPI_ROLE_TERMINAL, {kTextArea, ""}},
    RoleRow{ATSPI_ROLE_DOCUMENT_TEXT, {kTextArea, ""}},
    RoleRow{ATSPI_ROLE_DOCUMENT_WEB, {"AXWebArea", ""}},
    RoleRow{ATSPI_ROLE_DOCUMENT_FRAME, {"AXWebArea", ""}},
    RoleRow{ATSPI_ROLE_COMBO_BOX, {"AXComboBox", ""}},
    RoleRow{ATSPI_ROLE_PANEL, {"AXGroup", ""}},
    RoleRow{ATSPI_ROLE_FILLER, {"AXGroup", ""}},
    RoleRow{ATSPI_ROLE_SECTION, {"AXGroup", ""}},
    RoleRow{ATSPI_ROLE_GROUPING, {"AXGroup", ""}},
    RoleRow{ATSPI_ROLE_FORM, {"AXGroup", ""}},
    RoleRow{ATSPI_ROLE_LANDMARK, {"AXGroup", ""}},
    RoleRow{ATSPI_ROLE_SCROLL_PANE, {"AXScrollArea", ""}},
    RoleRow{ATSPI_ROLE_PUSH_BUTTON, {"AXButton", ""}},
    RoleRow{ATSPI_ROLE_TOGGLE_BUTTON, {"AXCheckBox", "AXToggle"}},
    RoleRow{ATSPI_ROLE_CHECK_BOX, {"AXCheckBox", ""}},
    RoleRow{ATSPI_ROLE_RADIO_BUTTON, {"AXRadioButton", ""}},
    RoleRow{ATSPI_ROLE_MENU_ITEM, {"AXMenuItem", ""}},
    RoleRow{ATSPI_ROLE_CHECK_MENU_ITEM, {"AXMenuItem", ""}},
    RoleRow{ATSPI_ROLE_RADIO_MENU_ITEM, {"AXMenuItem", ""}},
    RoleRow{ATSPI_ROLE_TEAROFF_MENU_ITEM, {"AXMenuItem", ""}},
    RoleRow{ATSPI_ROLE_MENU, {"AXMenu", ""}},
    RoleRow{ATSPI_ROLE_MENU_BAR, {"AXMenuBar", ""}},
    RoleRow{ATSPI_ROLE_FRAME, {"AXWindow", "AXStandardWindow"}},
    RoleRow{ATSPI_ROLE_WINDOW, {"AXWindow", "AXStandardWindow"}},
    RoleRow{ATSPI_ROLE_DIALOG, {"AXWindow", "AXDialog"}},
    RoleRow{ATSPI_ROLE_ALERT, {"AXWindow", "AXDialog"}},
    RoleRow{ATSPI_ROLE_FILE_CHOOSER, {"AXWindow", "AXDialog"}},
    RoleRow{ATSPI_ROLE_APPLICATION, {"AXApplication", ""}},
    RoleRow{ATSPI_ROLE_LABEL, {"AXStaticText", ""}},
    RoleRow{ATSPI_ROLE_STATIC, {"AXStaticText", ""}},
    RoleRow{ATSPI_ROLE_CAPTION, {"AXStaticText", ""}},
    RoleRow{ATSPI_ROLE_LINK, {"AXLink", ""}},
    RoleRow{ATSPI_ROLE_IMAGE, {"AXImage", ""}},
    RoleRow{ATSPI_ROLE_LIST, {"AXList", ""}},
    RoleRow{ATSPI_ROLE_LIST_BOX, {"AXList", ""}},
    RoleRow{ATSPI_ROLE_TABLE, {"AXTable", ""}},
    RoleRow{ATSPI_ROLE_TREE, {"AXOutline", ""}},
    RoleRow{ATSPI_ROLE_TREE_TABLE, {"AXOutline", ""}},
    RoleRow{ATSPI_ROLE_SLIDER, {"AXSlider", ""}},
    RoleRow{ATSPI_ROLE_SPIN_BUTTON, {"AXIncrementor", ""}},
    RoleRow{ATSPI_ROLE_PROGRESS_BAR, {"AXProgressIndicator", ""}},
    RoleRow{ATSPI_ROLE_TOOL_BAR, {"AXToolbar", ""}},
    RoleRow{ATSPI_ROLE_PAGE_TAB, {"AXRadioButton", "AXTabButton"}},
    RoleRow{ATSPI_ROLE_PAGE_TAB_LIST, {"AXTabGroup", ""}},
    RoleRow{ATSPI_ROLE_HEADING, {"AXHeading", ""}},
    RoleRow{ATSPI_ROLE_SEPARATOR, {"AXSplitter", ""}},
    RoleRow{ATSPI_ROLE_UNKNOWN, {"AXUnknown", ""}},
    RoleRow{ATSPI_ROLE_INVALID, {"AXUnknown", ""}},
};

}  // namespace

bool roleDependsOnMultiLine(std::uint32_t atspiRole) {
    return atspiRole == ATSPI_ROLE_ENTRY || atspiRole == ATSPI_ROLE_TEXT;
}

AXRoleNames axRoleNames(std::uint32_t atspiRole, bool multiLine) {
    if (roleDependsOnMultiLine(atspiRole)) return {multiLine ? kTextArea : kTextField, ""};
    for (const auto& row : kRoleTable) {
        if (static_cast<std::uint32_t>(row.atspi) == atspiRole) return row.names;
    }
    return {"AXGenericElement", ""};
}

bool isWindowRole(std::uint32_t atspiRole) {
    return atspiRole == ATSPI_ROLE_FRAME || atspiRole == ATSPI_ROLE_WINDOW || atspiRole == ATSPI_ROLE_DIALOG ||
           atspiRole == ATSPI_ROLE_ALERT || atspiRole == ATSPI_ROLE_FILE_CHOOSER;
}

bool isPasswordRole(std::uint32_t atspiRole) { return atspiRole == ATSPI_ROLE_PASSWORD_TEXT; }

}  // namespace murmo
