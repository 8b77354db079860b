#include "platform/sim/SimAppWindow.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/SimChrome.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

const WindowRequest kDashboard{
    .title = "Dashboard",
    .contentSize = {1180, 760},
    .minimumSize = {960, 640},
    .style = {.fullSizeContent = true},
};

// A window of our own, shown and key in the active application, with the
// notices of getting there already delivered.
struct ShownWindow {
    ManualLoop loop;
    SimDesktop desktop{loop};
    SimChrome& chrome = desktop.chrome();
    std::unique_ptr<AppWindow> window = desktop.ports().windows.makeWindow(kDashboard);
    SimAppWindow& sim = *chrome.windows().front();
    bool allowsClose = true;
    std::vector<WindowEvent> told;
    // What the window recorded while getting there.
    std::size_t setupEvents = 0;

    ShownWindow() {
        window->setHandlers({
            .onEvent = [this](WindowEvent event) { told.push_back(event); },
            .shouldClose = [this] { return allowsClose; },
        });
        window->showAndMakeKey();
        desktop.ports().chrome.activate();
        loop.runUntilIdle();
        told.clear();
        setupEvents = sim.deliveredEvents().size();
    }
};

struct State {
    bool visible = true;
    bool key = true;
    bool miniaturized = false;
    bool occlusionVisible = true;
};

struct WindowCase {
    std::string name;
    std::function<void(ShownWindow&)> act;
    std::vector<WindowEvent> expectedEvents;
    State expectedState;
};

TEST(SimAppWindowTest, EachChangeIsToldOnceInTheDesktopsOrder) {
    using enum WindowEvent;
    const std::vector<WindowCase> cases{
        {"miniaturize",
         [](ShownWindow& w) { w.sim.userMiniaturizes(); },
         {resignedKey, miniaturized, occlusionChanged},
         {.key = false, .miniaturized = true, .occlusionVisible = false}},
        {"miniaturize then show",
         [](ShownWindow& w) {
             w.sim.userMiniaturizes();
             w.window->showAndMakeKey();
         },
         {resignedKey, miniaturized, occlusionChanged, deminiaturized, occlusionChanged, becameKey},
         {}},
        {"covered by other windows",
         [](ShownWindow& w) { w.sim.setCoveredByOtherWindows(true); },
         {occlusionChanged},
         {.occlusionVisible = false}},
        {"the application resigns", [](ShownWindow& w) { w.chrome.userDeactivates(); }, {resignedKey}, {.key = false}},
        {"the application resigns and comes back",
         [](ShownWindow& w) {
             w.chrome.userDeactivates();
             w.chrome.userActivates();
         },
         {resignedKey, becameKey},
         {}},
        {"order out",
         [](ShownWindow& w) { w.window->orderOut(); },
         {resignedKey, occlusionChanged},
         {.visible = false, .key = false, .occlusionVisible = false}},
        {"close allowed",
         [](ShownWindow& w) { EXPECT_TRUE(w.sim.userCloses()); },
         {resignedKey, occlusionChanged},
         {.visible = false, .key = false, .occlusionVisible = false}},
        {"close refused keeps the window",
         [](ShownWindow& w) {
             w.allowsClose = false;
             EXPECT_FALSE(w.sim.userCloses());
         },
         {},
         {}},
        {"close refused, then hidden by the owner",
         [](ShownWindow& w) {
             w.window->setHandlers({
                 .onEvent = [&w](WindowEvent event) { w.told.push_back(event); },
                 .shouldClose =
                     [&w] {
                         w.window->orderOut();
                         return false;
                     },
             });
             EXPECT_FALSE(w.sim.userCloses());
         },
         {resignedKey, occlusionChanged},
         {.visible = false, .key = false, .occlusionVisible = false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownWindow w;
        c.act(w);
        w.loop.runUntilIdle();
        EXPECT_EQ(w.told, c.expectedEvents);
        const auto& delivered = w.sim.deliveredEvents();
        EXPECT_EQ(
            std::vector<WindowEvent>(delivered.begin() + static_cast<std::ptrdiff_t>(w.setupEvents), delivered.end()),
            c.expectedEvents);
        EXPECT_EQ(w.window->isVisible(), c.expectedState.visible);
        EXPECT_EQ(w.window->isKey(), c.expectedState.key);
        EXPECT_EQ(w.window->isMiniaturized(), c.expectedState.miniaturized);
        EXPECT_EQ(w.window->isOcclusionVisible(), c.expectedState.occlusionVisible);
    }
}

TEST(SimAppWindowTest, TheApplicationsOwnCallsAreToldOnTheLoopAndKeyWaitsForActivation) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    auto window = desktop.ports().windows.makeWindow(kDashboard);
    std::vector<std::string> told;
    window->setHandlers(
        {.onEvent = [&](WindowEvent event) { told.push_back(event == WindowEvent::becameKey ? "key" : "other"); }});
    auto observer = desktop.ports().chrome.observeActiveChanges(
        [&](bool active) { told.push_back(active ? "active" : "inactive"); });
    EXPECT_FALSE(window->isVisible()) << "a new window is hidden until shown";

    window->showAndMakeKey();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isKey()) << "no key window while another application is active";
    loop.runUntilIdle();
    EXPECT_EQ(told, (std::vector<std::string>{"other"})) << "only the occlusion changed";

    told.clear();
    desktop.ports().chrome.activate();
    EXPECT_TRUE(told.empty()) << "never inside the call that caused it";
    loop.runUntilIdle();
    EXPECT_EQ(told, (std::vector<std::string>{"active", "key"}));
    EXPECT_TRUE(window->isKey());
    EXPECT_TRUE(desktop.chrome().hasVisibleWindows());
}

TEST(SimAppWindowTest, TheWindowOwnsItsWebViewAndLeavesTheDesktopWhenDropped) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    auto window = desktop.ports().windows.makeWindow(kDashboard);
    SimAppWindow& sim = *desktop.chrome().windows().front();
    EXPECT_EQ(&window->webView(), static_cast<WebView*>(&sim.simWebView()));
    EXPECT_EQ(sim.request(), kDashboard);
    window->setTitle("Pano");
    EXPECT_EQ(sim.title(), "Pano");

    window->showAndMakeKey();
    window.reset();
    loop.runUntilIdle();
    EXPECT_TRUE(desktop.chrome().windows().empty());
    EXPECT_FALSE(desktop.chrome().hasVisibleWindows());
}

TEST(SimAppWindowTest, AnOwnerMayDropAnotherWindowWhileItIsTold) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    auto first = desktop.ports().windows.makeWindow({.title = "First"});
    auto second = desktop.ports().windows.makeWindow({.title = "Second"});
    SimAppWindow& firstSim = *desktop.chrome().windows().front();
    first->showAndMakeKey();
    second->showAndMakeKey();
    desktop.chrome().userActivates();
    loop.runUntilIdle();
    ASSERT_TRUE(second->isKey());
    first->setHandlers({.onEvent = [&](WindowEvent event) {
        if (event == WindowEvent::becameKey) second.reset();
    }});

    // The second window would lose its focus in the same change.
    firstSim.userFocuses();
    loop.runUntilIdle();
    EXPECT_FALSE(second);
    EXPECT_TRUE(first->isKey());
    EXPECT_EQ(desktop.chrome().windows().size(), 1u);
}

TEST(SimAppWindowDashboardTest, RecordsWhatTheDashboardShowsAndTellsLoadingChangesOnce) {
    ManualLoop loop;
    SimDesktop desktop{loop};
    auto window = desktop.ports().windows.makeWindow(kDashboard);
    auto& sim = *desktop.chrome().windows().front();
    int pressed = 0;
    window->setHandlers({.onSidebarButtonPressed = [&pressed] { ++pressed; }});
    std::vector<WindowLoadingView> seen;
    auto handle = sim.observeLoadingView([&seen](const WindowLoadingView& view) { seen.push_back(view); });

    EXPECT_EQ(sim.loadingView(), (WindowLoadingView{.shown = true, .label = ""}));
    window->setLoadingView({.shown = true, .label = "Starting"});
    window->setLoadingView({.shown = true, .label = "Starting"});
    window->setLoadingView({.shown = false, .label = "Starting"});
    EXPECT_EQ(seen, (std::vector<WindowLoadingView>{{true, "Starting"}, {false, "Starting"}}));

    const WindowColors colors{.chrome = RGBAColor::fromBytes(28, 28, 27), .sidebar = RGBAColor::fromBytes(32, 32, 31)};
    window->setAppearance(WindowAppearance::darkAqua, colors);
    window->setSidebarStripWidth(74);
    window->setSidebarButtonLabel("Show Navigation");
    EXPECT_EQ(sim.appearance(), WindowAppearance::darkAqua);
    EXPECT_EQ(sim.colors(), colors);
    EXPECT_EQ(sim.sidebarStripWidth(), 74);
    EXPECT_EQ(sim.sidebarButtonLabel(), "Show Navigation");
    sim.userPressesSidebarButton();
    EXPECT_EQ(pressed, 1);
}

}  // namespace
}  // namespace murmo
