#include "shell/menus/ApplicationMenus.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "MenuOutline.h"

namespace murmo {
namespace {

using testing::stringsIn;

const PermissionSnapshot kNothingGranted{};
const NativeLaunchAtLoginState kLoginUnavailable{.value = false, .status = NativeLaunchAtLoginStatus::unavailable};

CoordinatorMenuStatus coordinatorStatus(NativeAppLanguage language) {
    return CoordinatorMenuStatus{
        .connected = false,
        .paused = true,
        .shortcutDescription = language == NativeAppLanguage::turkish ? "Fn/Globe (basılı tut)" : "Fn/Globe (hold)"};
}

// The delegate's order: the fixed titles, then the changing lines.
void showIn(ApplicationMenus& menus, NativeAppLanguage language) {
    menus.refreshLocalizedChrome(stringsIn(language), NativeSidebarPreference::collapsed);
    menus.refreshMenu(coordinatorStatus(language), kNothingGranted, kLoginUnavailable, stringsIn(language));
}

// Every titled item of both menus and their submenus, with the menus' own
// titles, each with where it sits.
void collectTitles(const Menu& menu, const std::string& path, std::vector<std::pair<std::string, std::string>>& out) {
    out.emplace_back(path, menu.title);
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
        const auto& item = menu.items[i];
        if (item.isSeparator) continue;
        const auto where = path + "/" + std::to_string(i);
        out.emplace_back(where, item.title);
        if (const auto* submenu = item.submenuOrNull()) collectTitles(*submenu, where, out);
    }
}

std::vector<std::pair<std::string, std::string>> allTitles(const ApplicationMenus& menus) {
    std::vector<std::pair<std::string, std::string>> titles;
    collectTitles(menus.status().menu(), "status", titles);
    collectTitles(menus.main().menu(), "main", titles);
    return titles;
}

TEST(ApplicationMenusTest, ALanguageChangeRetitlesEveryItem) {
    ApplicationMenus menus;
    showIn(menus, NativeAppLanguage::english);
    const auto english = allTitles(menus);
    showIn(menus, NativeAppLanguage::turkish);
    const auto turkish = allTitles(menus);

    ASSERT_EQ(english.size(), turkish.size());
    for (std::size_t i = 0; i < english.size(); ++i) {
        const auto& [where, englishTitle] = english[i];
        SCOPED_TRACE(where + " " + englishTitle);
        EXPECT_EQ(turkish[i].first, where);
        // The status menu's own title is empty; the application's name is
        // the same in every language.
        if (where == "status" || where == "main" || englishTitle == "Dorvex") {
            EXPECT_EQ(turkish[i].second, englishTitle);
            continue;
        }
        EXPECT_FALSE(englishTitle.empty());
        EXPECT_NE(turkish[i].second, englishTitle);
    }

    showIn(menus, NativeAppLanguage::english);
    EXPECT_EQ(allTitles(menus), english) << "back to English leaves nothing Turkish behind";
}

TEST(ApplicationMenusTest, WithoutACoordinatorTheStatusLinesKeepTheirLastText) {
    ApplicationMenus menus;
    showIn(menus, NativeAppLanguage::english);
    const auto before = menus.status().menu();
    const auto connectedAndRunning =
        CoordinatorMenuStatus{.connected = true, .paused = false, .shortcutDescription = "x"};

    menus.refreshMenu(std::nullopt, PermissionSnapshot{}, kLoginUnavailable, stringsIn(NativeAppLanguage::english));
    EXPECT_EQ(menus.status().menu(), before);
    EXPECT_TRUE(menus.status().iconAppearsDisabled());

    menus.refreshMenu(connectedAndRunning, PermissionSnapshot{}, kLoginUnavailable,
                      stringsIn(NativeAppLanguage::english));
    EXPECT_NE(menus.status().menu(), before);
    EXPECT_FALSE(menus.status().iconAppearsDisabled());
}

TEST(ApplicationMenusTest, LocalizingKeepsTheSidebarTitleWhenThereIsNoDashboard) {
    ApplicationMenus menus;
    menus.refreshLocalizedChrome(stringsIn(NativeAppLanguage::english), NativeSidebarPreference::expanded);
    menus.refreshLocalizedChrome(stringsIn(NativeAppLanguage::turkish), std::nullopt);
    const auto bar = menus.main().menu();
    EXPECT_EQ(bar.items[2].title, "Görünüm");
    EXPECT_EQ(bar.items[2].submenuOrNull()->items[0].title, "Hide Navigation");
}

}  // namespace
}  // namespace murmo
