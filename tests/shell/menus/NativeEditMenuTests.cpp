#include "shell/menus/NativeEditMenu.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "MenuOutline.h"

namespace murmo {
namespace {

using testing::outline;

TEST(NativeEditMenuTest, ItemsInOrderWithTheirKeyEquivalentsForTheFocusedView) {
    struct Row {
        std::optional<MenuAction> action;
        std::string keyEquivalent;
        std::uint32_t modifierMask;
    };
    const std::vector<Row> expected = {
        {MenuAction::undo, "z", 0x100000},
        {MenuAction::redo, "z", 0x120000},
        {std::nullopt, "", 0},
        {MenuAction::cut, "x", 0x100000},
        {MenuAction::copy, "c", 0x100000},
        {MenuAction::paste, "v", 0x100000},
        {std::nullopt, "", 0},
        {MenuAction::selectAll, "a", 0x100000},
    };
    const NativeEditMenu edit;
    const auto& items = edit.menu().items;
    ASSERT_EQ(items.size(), expected.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].isSeparator, !expected[i].action.has_value());
        EXPECT_EQ(items[i].action, expected[i].action);
        EXPECT_EQ(items[i].keyEquivalent, expected[i].keyEquivalent);
        EXPECT_EQ(items[i].modifierMask.rawValue, expected[i].modifierMask);
        EXPECT_EQ(items[i].target, MenuTarget::firstResponder);
        EXPECT_TRUE(items[i].submenu.empty());
    }
    EXPECT_TRUE(edit.menu().autoenablesItems);
}

TEST(NativeEditMenuTest, TurkishGetsTurkishTitlesAndEveryOtherLanguageEnglish) {
    const std::vector<std::string> english = {"Undo", "Redo", "---", "Cut", "Copy", "Paste", "---", "Select All"};
    const std::vector<std::string> turkish = {"Geri Al", "Yinele",   "---", "Kes",
                                              "Kopyala", "Yapıştır", "---", "Tümünü Seç"};
    struct Case {
        NativeAppLanguage language;
        std::vector<std::string> preferred;
        bool turkish;
    };
    const Case cases[] = {
        {NativeAppLanguage::turkish, {}, true},
        {NativeAppLanguage::english, {"tr-TR"}, false},
        {NativeAppLanguage::german, {}, false},
        {NativeAppLanguage::japanese, {}, false},
        {NativeAppLanguage::system, {"tr-TR", "en"}, true},
        {NativeAppLanguage::system, {"de-DE", "tr"}, false},
        {NativeAppLanguage::system, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.language)) + " preferred " + std::to_string(c.preferred.size()));
        NativeEditMenu edit;
        edit.localize(c.language, c.preferred);
        EXPECT_EQ(edit.title(), c.turkish ? "Düzenle" : "Edit");
        EXPECT_EQ(outline(edit.menu()), c.turkish ? turkish : english);
        // Back to English: nothing Turkish stays behind.
        edit.localize(NativeAppLanguage::english);
        EXPECT_EQ(edit.title(), "Edit");
        EXPECT_EQ(outline(edit.menu()), english);
    }
}

}  // namespace
}  // namespace murmo
