#include "platform/sim/SimStatusItem.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimChrome.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

Menu statusMenu(std::string stateLine) {
    MenuItem state = MenuItem::label();
    state.title = std::move(stateLine);
    MenuItem open = MenuItem::command(MenuAction::openDashboard);
    open.title = "Open";
    MenuItem quit = MenuItem::command(MenuAction::quit, "q", MenuModifierMask::command);
    quit.title = "Quit";
    MenuItem disabled = MenuItem::command(MenuAction::toggleLaunchAtLogin);
    disabled.enabled = false;
    return Menu{.items = {state, open, MenuItem::separator(), disabled, quit},
                .autoenablesItems = false,
                .delegate = MenuTarget::applicationDelegate};
}

TEST(SimStatusItemTest, TheMenuWillOpenNoticeRunsBeforeTheMenuIsRead) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    std::unique_ptr<StatusItem> item = desktop.ports().statusBar.makeSquareStatusItem();
    SimStatusItem& sim = *desktop.chrome().statusItems().front();
    std::vector<std::string> order;
    item->setMenu(statusMenu("Core offline"));
    item->setHandlers({.menuWillOpen =
                           [&] {
                               order.push_back("will-open");
                               item->setMenu(statusMenu("Core connected"));
                           },
                       .onChoose = [&](MenuAction action) { order.push_back(std::string(rawValue(action))); }});

    EXPECT_FALSE(sim.chooseItem({1})) << "nothing is chosen from a closed menu";
    const auto shown = sim.openMenu();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->items[0].title, "Core connected") << "the menu shows the model refreshed by the notice";
    EXPECT_TRUE(sim.isMenuOpen());
    EXPECT_EQ(sim.menuUpdates(), 2);

    EXPECT_FALSE(sim.chooseItem({0})) << "a label";
    EXPECT_FALSE(sim.chooseItem({2})) << "a separator";
    EXPECT_FALSE(sim.chooseItem({3})) << "a disabled item in a menu that does not enable its own";
    EXPECT_FALSE(sim.chooseItem({9}));
    EXPECT_TRUE(sim.chooseItem({4}));
    EXPECT_FALSE(sim.isMenuOpen());
    EXPECT_EQ(order, (std::vector<std::string>{"will-open", "quit"}));
}

struct ImageCase {
    std::string name;
    bool bundleHasIcon = false;
    bool symbolExists = true;
    std::optional<std::size_t> expectedShown;
};

TEST(SimStatusItemTest, TheFirstCandidateImageThatLoadsIsShown) {
    const auto icon = ImageSource::bundleResource("MenuBarIcon");
    const auto symbol = ImageSource::symbol("waveform.circle.fill");
    const std::vector<ImageCase> cases{
        {"the bundle's icon", true, true, 0},
        {"the symbol when the bundle has none", false, true, 1},
        {"nothing loads", false, false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualLoop loop;
        SimDesktop desktop{loop};
        SimChrome& chrome = desktop.chrome();
        chrome.setImageAvailable(icon, c.bundleHasIcon);
        chrome.setImageAvailable(symbol, c.symbolExists);
        auto item = desktop.ports().statusBar.makeSquareStatusItem();
        const StatusItemImage image{.candidates = {icon, symbol}, .sidePoints = 18, .accessibilityDescription = "Pano"};
        EXPECT_EQ(item->setImage(image), c.expectedShown);
        SimStatusItem& sim = *chrome.statusItems().front();
        EXPECT_EQ(sim.image(), image);
        EXPECT_EQ(sim.shownCandidate(), c.expectedShown);
        item->setAppearsDisabled(true);
        EXPECT_TRUE(sim.appearsDisabled());
        item.reset();
        EXPECT_TRUE(chrome.statusItems().empty()) << "a dropped item leaves the menu bar";
    }
}

}  // namespace
}  // namespace murmo
