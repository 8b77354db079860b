// The role table and the character-to-UTF-16 conversion the backend reads
// every text range through.

#include <gtest/gtest.h>

#include <atspi/atspi-constants.h>

#include <string>
#include <vector>

#include "platform/linux/AtspiRoles.h"
#include "platform/linux/AtspiTextRanges.h"

namespace murmo {
namespace {

TEST(AtspiRolesTest, RolesReadAsTheNamesTheDeliveryRulesCompare) {
    struct Case {
        AtspiRole role;
        bool multiLine;
        std::string_view axRole;
        std::string_view subrole;
    };
    const std::vector<Case> cases{
        {ATSPI_ROLE_ENTRY, false, "AXTextField", ""},
        {ATSPI_ROLE_ENTRY, true, "AXTextArea", ""},
        {ATSPI_ROLE_TEXT, false, "AXTextField", ""},
        {ATSPI_ROLE_TEXT, true, "AXTextArea", ""},
        {ATSPI_ROLE_PASSWORD_TEXT, false, "AXTextField", "AXSecureTextField"},
        {ATSPI_ROLE_PASSWORD_TEXT, true, "AXTextField", "AXSecureTextField"},
        {ATSPI_ROLE_DOCUMENT_WEB, false, "AXWebArea", ""},
        {ATSPI_ROLE_COMBO_BOX, false, "AXComboBox", ""},
        {ATSPI_ROLE_PANEL, false, "AXGroup", ""},
        {ATSPI_ROLE_SCROLL_PANE, false, "AXScrollArea", ""},
        {ATSPI_ROLE_PUSH_BUTTON, false, "AXButton", ""},
        {ATSPI_ROLE_CHECK_BOX, false, "AXCheckBox", ""},
        {ATSPI_ROLE_RADIO_BUTTON, false, "AXRadioButton", ""},
        {ATSPI_ROLE_MENU_ITEM, false, "AXMenuItem", ""},
        {ATSPI_ROLE_UNKNOWN, false, "AXUnknown", ""},
        {ATSPI_ROLE_CALENDAR, false, "AXGenericElement", ""},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(static_cast<int>(item.role));
        const auto names = axRoleNames(item.role, item.multiLine);
        EXPECT_EQ(names.role, item.axRole);
        EXPECT_EQ(names.subrole, item.subrole);
    }
    EXPECT_EQ(axRoleNames(ATSPI_ROLE_LAST_DEFINED + 50, false).role, "AXGenericElement");
}

TEST(AtspiTextRangesTest, CharacterOffsetsBecomeUTF16UnitsAndOutOfRangeOffsetsAreRefused) {
    // "aß👋c": the emoji is one character and two UTF-16 units.
    const std::string text = "aß👋c";
    EXPECT_EQ(utf16RangeOfCharacters(text, 0, 4), (AXTextRange{0, 5}));
    EXPECT_EQ(utf16RangeOfCharacters(text, 2, 3), (AXTextRange{2, 2}));
    EXPECT_EQ(utf16RangeOfCharacters(text, 3, 3), (AXTextRange{4, 0}));
    EXPECT_EQ(utf16RangeOfCharacters(text, 4, 4), (AXTextRange{5, 0}));
    EXPECT_FALSE(utf16RangeOfCharacters(text, 0, 5));
    EXPECT_FALSE(utf16RangeOfCharacters(text, -1, 2));
    EXPECT_FALSE(utf16RangeOfCharacters(text, 3, 2));
    EXPECT_FALSE(utf16RangeOfCharacters("\xff", 0, 0));
    EXPECT_EQ(characterCount(text), 4);
    EXPECT_FALSE(characterCount("\xc3"));
}

}  // namespace
}  // namespace murmo
