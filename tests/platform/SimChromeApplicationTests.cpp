#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/SimChrome.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

TEST(SimChromeApplicationTest, ActivationIsToldOnceOnTheLoopForOurCallsAndAtOnceForTheUsers) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    SimChrome& chrome = desktop.chrome();
    Chrome& port = desktop.ports().chrome;
    std::vector<bool> told;
    auto observer = port.observeActiveChanges([&](bool active) { told.push_back(active); });
    EXPECT_FALSE(port.isActive());

    port.activate();
    EXPECT_TRUE(port.isActive());
    EXPECT_TRUE(told.empty()) << "never inside activate()";
    loop.runUntilIdle();
    port.activate();
    loop.runUntilIdle();
    EXPECT_EQ(told, (std::vector<bool>{true})) << "no notice without a change";
    EXPECT_EQ(chrome.activateRequests(), 2);

    chrome.userDeactivates();
    chrome.userActivates();
    EXPECT_EQ(told, (std::vector<bool>{true, false, true}));
    observer.reset();
    chrome.userDeactivates();
    EXPECT_EQ(told.size(), 3u);
}

TEST(SimChromeApplicationTest, AppearanceChangesAreToldOnlyWhenTheAppearanceChanges) {
    SimChrome chrome;
    int told = 0;
    auto observer = chrome.observeAppearanceChanges([&] { ++told; });
    chrome.setDarkAppearance(true);
    chrome.setDarkAppearance(true);
    EXPECT_TRUE(chrome.effectiveAppearanceIsDark());
    chrome.setDarkAppearance(false);
    EXPECT_EQ(told, 2);
}

TEST(SimChromeApplicationTest, ReopenSaysWhetherAnyOfOurWindowsShows) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    SimChrome& chrome = desktop.chrome();
    std::vector<bool> reopened;
    chrome.setApplicationHandlers({.onReopen = [&](bool hasVisibleWindows) { reopened.push_back(hasVisibleWindows); }});
    auto window = desktop.ports().windows.makeWindow({.title = "Dashboard"});
    chrome.userReopens();
    window->showAndMakeKey();
    chrome.userReopens();
    window->orderOut();
    chrome.userReopens();
    EXPECT_EQ(reopened, (std::vector<bool>{false, true, false}));
}

TEST(SimChromeApplicationTest, MainMenuItemsReachTheApplicationOrTheFocusedWidgetByTheirTarget) {
    SimChrome chrome;
    std::vector<MenuAction> chosen;
    chrome.setApplicationHandlers({.onMenuAction = [&](MenuAction action) { chosen.push_back(action); }});
    MenuItem hidden = MenuItem::command(MenuAction::openSettings);
    hidden.enabled = false;
    const Menu application{.items = {hidden, MenuItem::separator(), MenuItem::command(MenuAction::quit, "q")}};
    MenuItem undo;
    undo.action = MenuAction::undo;
    const Menu edit{.items = {undo}};
    chrome.setMainMenu(Menu{.items = {MenuItem::opening("App", application), MenuItem::opening("Edit", edit)}});
    EXPECT_EQ(chrome.mainMenuUpdates(), 1);

    EXPECT_TRUE(chrome.chooseMainMenuItem({0, 2}));
    EXPECT_TRUE(chrome.chooseMainMenuItem({0, 0})) << "a menu that enables its items itself";
    EXPECT_FALSE(chrome.chooseMainMenuItem({0, 1})) << "a separator";
    EXPECT_FALSE(chrome.chooseMainMenuItem({0})) << "an item that only opens a menu";
    EXPECT_TRUE(chrome.chooseMainMenuItem({1, 0}));
    EXPECT_EQ(chosen, (std::vector<MenuAction>{MenuAction::quit, MenuAction::openSettings}));
    EXPECT_EQ(chrome.focusedActions(), (std::vector<MenuAction>{MenuAction::undo}));
}

}  // namespace
}  // namespace murmo
