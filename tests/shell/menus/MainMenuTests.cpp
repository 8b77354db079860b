#include "shell/menus/MainMenu.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "MenuOutline.h"

namespace murmo {
namespace {

using testing::outline;
using testing::stringsIn;

MainMenu localizedMenu(NativeAppLanguage language,
                       std::optional<NativeSidebarPreference> sidebar = NativeSidebarPreference::expanded) {
    MainMenu menu;
    menu.refreshLocalizedChrome(stringsIn(language));
    menu.refreshSidebarItem(sidebar, stringsIn(language));
    return menu;
}

TEST(MainMenuTest, ApplicationEditAndViewMenusWithTheirKeyEquivalents) {
    const auto bar = localizedMenu(NativeAppLanguage::english).menu();
    EXPECT_EQ(outline(bar), (std::vector<std::string>{"Dorvex", "Edit", "View"}));
    for (const auto& item : bar.items) {
        EXPECT_FALSE(item.action.has_value()) << item.title;
        EXPECT_TRUE(item.keyEquivalent.empty()) << item.title;
        ASSERT_NE(item.submenuOrNull(), nullptr) << item.title;
        EXPECT_EQ(item.submenuOrNull()->title, item.title);
        EXPECT_TRUE(item.submenuOrNull()->autoenablesItems) << "the main menu enables items by their targets";
    }

    const auto& application = *bar.items[0].submenuOrNull();
    EXPECT_EQ(outline(application), (std::vector<std::string>{"Settings…", "---", "Quit Dorvex Completely"}));
    EXPECT_EQ(application.items[0].action, MenuAction::openSettings);
    EXPECT_EQ(application.items[0].keyEquivalent, ",");
    EXPECT_EQ(application.items[0].modifierMask.rawValue, 0x100000u);
    EXPECT_EQ(application.items[2].action, MenuAction::quit);
    EXPECT_EQ(application.items[2].keyEquivalent, "q");
    EXPECT_EQ(application.items[2].modifierMask.rawValue, 0x100000u);
    for (const auto& item : {application.items[0], application.items[2]})
        EXPECT_EQ(item.target, MenuTarget::applicationDelegate);

    EXPECT_EQ(*bar.items[1].submenuOrNull(), NativeEditMenu().menu());

    const auto& view = *bar.items[2].submenuOrNull();
    ASSERT_EQ(view.items.size(), 1u);
    const auto& sidebar = view.items[0];
    EXPECT_EQ(sidebar.action, MenuAction::toggleSidebar);
    EXPECT_EQ(sidebar.keyEquivalent, "s");
    EXPECT_EQ(sidebar.modifierMask.rawValue, 0x140000u) << "Control+Command+S";
    EXPECT_EQ(sidebar.modifierMask, MenuModifierMask::control | MenuModifierMask::command);
    EXPECT_EQ(sidebar.target, MenuTarget::applicationDelegate);
}

TEST(MainMenuTest, SidebarItemNamesWhatChoosingItDoes) {
    struct Case {
        std::optional<NativeSidebarPreference> sidebar;
        NativeAppLanguage language;
        std::string title;
    };
    const Case cases[] = {
        {NativeSidebarPreference::collapsed, NativeAppLanguage::english, "Show Navigation"},
        {NativeSidebarPreference::expanded, NativeAppLanguage::english, "Hide Navigation"},
        {NativeSidebarPreference::collapsed, NativeAppLanguage::turkish, "Navigasyonu Göster"},
        {NativeSidebarPreference::expanded, NativeAppLanguage::turkish, "Navigasyonu Gizle"},
        // Without a dashboard the item keeps the title it had.
        {std::nullopt, NativeAppLanguage::turkish, "Navigasyonu Gizle"},
    };
    MainMenu menu;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        menu.refreshSidebarItem(c.sidebar, stringsIn(c.language));
        EXPECT_EQ(menu.menu().items[2].submenuOrNull()->items[0].title, c.title);
    }
}

TEST(MainMenuTest, WithoutADashboardTheSidebarItemStaysUntitled) {
    const auto bar = localizedMenu(NativeAppLanguage::english, std::nullopt).menu();
    EXPECT_EQ(bar.items[2].submenuOrNull()->items[0].title, "");
}

TEST(MainMenuTest, EditMenuIsTurkishOnlyForTurkishWhileTheRestFollowsTheCatalog) {
    struct Case {
        NativeAppLanguage language;
        std::vector<std::string> bar;
        std::string firstEditItem;
        std::string settings;
    };
    const Case cases[] = {
        {NativeAppLanguage::turkish, {"Dorvex", "Düzenle", "Görünüm"}, "Geri Al", "Ayarlar…"},
        {NativeAppLanguage::german, {"Dorvex", "Edit", "View"}, "Undo", "Settings…"},
        {NativeAppLanguage::english, {"Dorvex", "Edit", "View"}, "Undo", "Settings…"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(rawValue(c.language));
        const auto bar = localizedMenu(c.language).menu();
        EXPECT_EQ(outline(bar), c.bar);
        EXPECT_EQ(bar.items[1].submenuOrNull()->title, c.bar[1]);
        EXPECT_EQ(bar.items[1].submenuOrNull()->items[0].title, c.firstEditItem);
        EXPECT_EQ(bar.items[2].submenuOrNull()->title, c.bar[2]);
        EXPECT_EQ(bar.items[0].submenuOrNull()->items[0].title, c.settings);
    }
}

}  // namespace
}  // namespace murmo
