#include "shell/MurmoAppDelegate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppDelegateWorld.h"
#include "shell/dashboard/DashboardPageScripts.h"
#include "support/BridgePageFrames.h"

namespace murmo {
namespace {

using testing::AppDelegateWorld;
using ::testing::Contains;
using ::testing::HasSubstr;

// What the world looked like when the coordinator first reached for the
// engine, which is the start of the coordinator.
struct AtCoordinatorStart {
    bool mainMenuSet = false;
    std::string statusOpenItem;
    bool coordinatorCallbacks = false;
    bool dashboardCallbacks = false;
    bool windowMade = false;
    bool windowVisible = false;
    std::size_t pageLoads = 0;
};

TEST(MurmoAppDelegateTest, LaunchWiresAndBuildsEverythingBeforeTheCoordinatorStartsAndShowsTheDashboardLast) {
    AppDelegateWorld w;
    auto& delegate = w.make();
    std::optional<AtCoordinatorStart> seen;
    w.observed->onUse = [&] {
        if (seen) return;
        const auto& dashboard = delegate.dashboard();
        seen = AtCoordinatorStart{
            .mainMenuSet = w.chrome().mainMenu().has_value(),
            .statusOpenItem = w.chrome().statusItems().empty() || !w.statusItem().menu()
                                  ? std::string()
                                  : w.statusItem().menu()->items.at(1).title,
            .coordinatorCallbacks = delegate.coordinator()->onStatusChange &&
                                    delegate.coordinator()->deliverInternalDictation &&
                                    delegate.coordinator()->onWebAudioFailure,
            .dashboardCallbacks = dashboard && dashboard->onPermissionsChanged && dashboard->onAudioAbandoned &&
                                  dashboard->audioBridge().onCommand,
            .windowMade = !w.chrome().windows().empty(),
            .windowVisible = !w.chrome().windows().empty() && w.window().isVisible(),
            .pageLoads = w.chrome().windows().empty() ? 0 : w.page().loads().size(),
        };
    };
    w.launch();

    ASSERT_TRUE(seen.has_value()) << "the coordinator starts at launch";
    EXPECT_TRUE(seen->mainMenuSet);
    EXPECT_EQ(seen->statusOpenItem, "Open Dorvex") << "the menus carry their texts before the coordinator starts";
    EXPECT_TRUE(seen->coordinatorCallbacks);
    EXPECT_TRUE(seen->dashboardCallbacks);
    EXPECT_TRUE(seen->windowMade);
    EXPECT_FALSE(seen->windowVisible) << "the dashboard shows last";
    EXPECT_EQ(seen->pageLoads, 0u);

    EXPECT_TRUE(w.window().isVisible());
    ASSERT_EQ(w.page().loads().size(), 1u);
    EXPECT_EQ(w.page().loads()[0].url.text(), "http://127.0.0.1:8765/workspace");
    EXPECT_THAT(w.stateLine(), HasSubstr("Core offline  •  "));
    EXPECT_EQ(w.delegate->coordinator()->applicationLanguage(), NativeAppLanguage::english);
}

TEST(MurmoAppDelegateTest, ALanguageChangeRetitlesBothMenusAndTheCoordinatorRefreshesTheStatusMenuAgain) {
    AppDelegateWorld w;
    auto& delegate = w.launch();
    const auto updatesBefore = w.statusItem().menuUpdates();

    ASSERT_TRUE(delegate.preferencesController().set(NativePreferenceKey::uiLanguage, std::string("tr")));
    w.loop.runUntilIdle();

    const auto turkish = strings(NativeAppLanguage::turkish);
    EXPECT_EQ(w.statusItem().menu()->items.at(1).title, turkish.openMurmo());
    EXPECT_THAT(w.stateLine(), HasSubstr(turkish.coreOffline()));
    const auto& mainMenu = *w.chrome().mainMenu();
    EXPECT_EQ(mainMenu.items.at(1).title, "Düzenle");
    EXPECT_EQ(delegate.coordinator()->applicationLanguage(), NativeAppLanguage::turkish);
    // The observer's retitling and refresh, and the coordinator's status
    // change through its language callback.
    EXPECT_GE(w.statusItem().menuUpdates() - updatesBefore, 3);
}

TEST(MurmoAppDelegateTest, TurningTheFeedbackSoundsOffStopsTheCuePlayers) {
    AppDelegateWorld w;
    auto& delegate = w.launch();
    const auto stops = [&] {
        const auto calls = w.desktop().cuePlayers().calls();
        return std::ranges::count_if(
            calls, [](const SimCuePlayerCall& call) { return call.action == SimCuePlayerCall::Action::stop; });
    };
    const auto before = stops();

    ASSERT_TRUE(delegate.preferencesController().set(NativePreferenceKey::feedbackSoundsEnabled, false));
    EXPECT_GT(stops(), before);
}

TEST(MurmoAppDelegateTest, APageRequestForSettingsWithoutASectionOpensGeneral) {
    AppDelegateWorld w;
    w.launch();
    w.finishPageLoad();
    EXPECT_FALSE(w.window().userCloses()) << "closing only hides the dashboard";
    ASSERT_FALSE(w.window().isVisible());

    w.page().postMessage("murmoSettings", testing::engineMainFrame(), R"({"action":"open"})");
    w.loop.runUntilIdle();

    EXPECT_TRUE(w.window().isVisible());
    std::vector<std::string> sources;
    for (const auto& evaluation : w.page().evaluations()) sources.push_back(evaluation.source);
    EXPECT_THAT(sources, Contains(DashboardPageScripts::selectSettings(NativeSettingsSection::general)));
    EXPECT_EQ(w.page().loads().size(), 1u) << "shown again without a reload";
}

TEST(MurmoAppDelegateTest, WithTheDelegateGoneTheAudioHandlerAnswersUnavailableAndInternalDeliveryFails) {
    AppDelegateWorld w;
    w.launch();
    w.finishPageLoad();
    const auto dashboard = w.delegate->dashboard();
    const auto coordinator = w.delegate->coordinator();
    coordinator->shutdown([] {});
    w.loop.runUntilIdle();
    w.delegate.reset();

    const auto index =
        w.page().postMessage("murmoAudio", testing::engineMainFrame(),
                             R"({"action":"begin","operation_id":"7d3b35f6-7e4f-4a57-9d42-6d1f4f0c8f10"})");
    w.loop.runUntilIdle();
    const auto& reply = *w.page().messages().at(index).reply;
    ASSERT_TRUE(reply.valueJSON.has_value());
    EXPECT_EQ(json::Json::parse(*reply.valueJSON)["code"], "audio_service_unavailable");
    EXPECT_EQ(reply.answers, 1);

    std::optional<bool> delivered;
    coordinator->deliverInternalDictation("7d3b35f6-7e4f-4a57-9d42-6d1f4f0c8f10", "words",
                                          [&](bool ok) { delivered = ok; });
    EXPECT_EQ(delivered, false);
}

TEST(MurmoAppDelegateTest, ClosingTheWindowKeepsTheApplicationAndReopeningShowsItWithoutAReload) {
    AppDelegateWorld w;
    w.launch();
    w.finishPageLoad();
    EXPECT_FALSE(MurmoAppDelegate::applicationShouldTerminateAfterLastWindowClosed());

    EXPECT_FALSE(w.window().userCloses());
    EXPECT_FALSE(w.window().isVisible());
    EXPECT_FALSE(w.chrome().terminated());

    w.chrome().userReopens();
    w.loop.runUntilIdle();
    EXPECT_TRUE(w.window().isVisible());
    EXPECT_EQ(w.page().loads().size(), 1u);
}

TEST(MurmoAppDelegateTest, StatusMenuCommandsReachTheirTargets) {
    AppDelegateWorld w;
    auto& delegate = w.launch();
    w.finishPageLoad();
    w.window().userCloses();

    delegate.perform(MenuAction::openDashboard);
    w.loop.runUntilIdle();
    EXPECT_TRUE(w.window().isVisible());

    const auto before = delegate.dashboard()->sidebarPreference();
    delegate.perform(MenuAction::toggleSidebar);
    EXPECT_NE(delegate.dashboard()->sidebarPreference(), before);
    const auto sidebarTitle = w.chrome().mainMenu()->items.at(2).submenuOrNull()->items.at(0).title;
    EXPECT_EQ(sidebarTitle, delegate.dashboard()->sidebarPreference() == NativeSidebarPreference::collapsed
                                ? "Show Navigation"
                                : "Hide Navigation");

    // The icon dims while dictation is paused.
    ASSERT_FALSE(delegate.coordinator()->paused());
    EXPECT_FALSE(w.statusItem().appearsDisabled());
    delegate.perform(MenuAction::togglePause);
    w.loop.runUntilIdle();
    EXPECT_TRUE(delegate.coordinator()->paused());
    EXPECT_TRUE(w.statusItem().appearsDisabled());
    EXPECT_EQ(w.statusItem().menu()->items.at(3).title, "Resume Dictation");
    delegate.perform(MenuAction::togglePause);
    w.loop.runUntilIdle();
    EXPECT_FALSE(delegate.coordinator()->paused());
    EXPECT_FALSE(w.statusItem().appearsDisabled());

    delegate.perform(MenuAction::quit);
    EXPECT_THAT(w.chrome().terminationSteps(), Contains("asked:later"));
}

TEST(MurmoAppDelegateTest, AFailedLaunchAtLoginChangeAlertsThenRefreshesTheMenu) {
    AppDelegateWorld w;
    auto& delegate = w.launch();
    w.desktop().loginItem().failRegister("The system refused the registration.");
    const auto updatesBefore = w.statusItem().menuUpdates();

    delegate.perform(MenuAction::toggleLaunchAtLogin);
    w.loop.runUntilIdle();

    ASSERT_EQ(w.chrome().alerts().size(), 1u);
    const auto& alert = w.chrome().alerts()[0].request;
    EXPECT_EQ(alert.style, AlertStyle::warning);
    EXPECT_EQ(alert.messageText, "Launch at Login could not be changed");
    EXPECT_EQ(alert.informativeText, "Check settings and try again");
    EXPECT_GT(w.statusItem().menuUpdates(), updatesBefore);
    EXPECT_TRUE(w.world.log->contains("Dorvex launch-at-login change failed: "));
}

}  // namespace
}  // namespace murmo
