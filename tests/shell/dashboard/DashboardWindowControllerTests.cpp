#include "shell/dashboard/DashboardWindowController.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "DashboardWindowWorld.h"
#include "services/AppearanceCoordinator.h"
#include "services/NativePreferencesJavaScript.h"
#include "shell/bridges/NativeUpdateJavaScript.h"
#include "shell/dashboard/DashboardPageScripts.h"
#include "support/BridgePageFrames.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::frameAt;
using testing::kWorkspaceURL;

class DashboardWindowControllerTest : public ::testing::Test, protected testing::DashboardWindowWorld {};

TEST(NativeWebSurfaceURLTest, WorkspaceKeepsTheEngineOriginAndDropsTheSurface) {
    const struct {
        const char* from;
        const char* workspace;
    } rows[] = {
        {"http://127.0.0.1:8765", "http://127.0.0.1:8765/workspace"},
        {"http://127.0.0.1:8765/some/path", "http://127.0.0.1:8765/workspace"},
        {"http://127.0.0.1:8765/?surface=settings", "http://127.0.0.1:8765/workspace"},
        {"http://127.0.0.1:8765/x?a=1&surface=s&b=2&surface=t", "http://127.0.0.1:8765/workspace?a=1&b=2"},
        {"http://127.0.0.1:8765/x?surfaces=1&Surface=2&surface",
         "http://127.0.0.1:8765/workspace?surfaces=1&Surface=2"},
        // A name written encoded is the same name.
        {"http://127.0.0.1:8765/x?surf%61ce=1&lang=tr", "http://127.0.0.1:8765/workspace?lang=tr"},
        // An empty query is none, and stays none.
        {"http://127.0.0.1:8765/?", "http://127.0.0.1:8765/workspace"},
        {"http://localhost/#frag", "http://localhost/workspace"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.from);
        EXPECT_EQ(NativeWebSurfaceURL::workspace(*URL::parse(row.from)).text(), row.workspace);
    }
    const auto settings = NativeWebSurfaceURL::settings(*URL::parse("http://127.0.0.1:8765/?surface=a&b=1"));
    EXPECT_EQ(settings.text(), "http://127.0.0.1:8765/workspace?b=1#/settings/general");
    // The anchor never goes on the wire, and a workspace address drops it.
    EXPECT_EQ(settings.target(), "/workspace?b=1");
    EXPECT_EQ(NativeWebSurfaceURL::workspace(settings).text(), "http://127.0.0.1:8765/workspace?b=1");
}

TEST_F(DashboardWindowControllerTest, MakesTheWindowHiddenWithItsHandlersAndScriptsInOrder) {
    const WindowRequest expected{.title = "Dorvex",
                                 .contentSize = {1180, 760},
                                 .minimumSize = {960, 640},
                                 .style = {.fullSizeContent = true},
                                 .frameAutosaveName = "MurmoMainWindow"};
    EXPECT_EQ(window->request(), expected);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(view->loads().empty());
    EXPECT_EQ(window->loadingView(), (WindowLoadingView{.shown = true, .label = "Starting the Dorvex core…"}));
    EXPECT_EQ(window->sidebarButtonLabel(), "Hide Navigation");
    EXPECT_EQ(window->sidebarStripWidth(), 222);
    EXPECT_EQ(window->appearance(), WindowAppearance::followSystem);
    EXPECT_EQ(window->colors(), (WindowColors{.chrome = RGBAColor::fromBytes(250, 249, 246),
                                              .sidebar = RGBAColor::fromBytes(238, 237, 232)}));

    std::vector<std::string> handlers;
    for (const auto& line : view->log()) {
        if (line.starts_with("handler")) handlers.push_back(line);
    }
    EXPECT_EQ(handlers, (std::vector<std::string>{
                            "handler+ dorvexWritingCopy reply",
                            "handler+ dorvexFileExport reply",
                            "handler+ murmoPermissions reply",
                            "handler+ murmoSettings",
                            "handler+ murmoTheme",
                            "handler+ murmoNativePreferences reply",
                            "handler+ murmoAudio reply",
                            "handler+ murmoUIState",
                            "handler+ murmoSelection reply",
                            "handler+ murmoApplicationIcons reply",
                            "handler+ murmoNativeUpdate reply",
                        }));
    EXPECT_EQ(view->userScripts(), (std::vector<std::string>{
                                       NativePreferencesJavaScript::documentStart(preferences->snapshot()),
                                       std::string(NativeUpdateJavaScript::documentStart()),
                                       DashboardPageScripts::uiState(NativeSidebarPreference::expanded, {}),
                                       std::string(DashboardPageScripts::nativeHost()),
                                   }));
}

TEST_F(DashboardWindowControllerTest, PreferencesReachTheWindowAndTheLoadedPage) {
    desktop.defaults().preset(NativeUIStateStore::sidebarKey, "collapsed");
    make();
    EXPECT_EQ(window->sidebarStripWidth(), 74);
    showLoaded();
    const auto before = view->evaluations().size();

    ASSERT_TRUE(preferences->set(NativePreferenceKey::appearancePreference, std::string("black")));
    EXPECT_EQ(window->appearance(), WindowAppearance::darkAqua);
    EXPECT_EQ(window->colors(),
              (WindowColors{.chrome = RGBAColor::fromBytes(9, 9, 9), .sidebar = RGBAColor::fromBytes(17, 17, 17)}));
    ASSERT_TRUE(preferences->set(NativePreferenceKey::uiLanguage, std::string("tr")));
    EXPECT_EQ(window->sidebarButtonLabel(), "Navigasyonu Göster");
    EXPECT_EQ(window->loadingView().label, "Dorvex çekirdeği başlatılıyor…");
    const auto broadcasts = evaluatedSince(before);
    ASSERT_EQ(broadcasts.size(), 2u);
    EXPECT_EQ(broadcasts.back(), NativePreferencesJavaScript::broadcast(preferences->snapshot()));
}

TEST_F(DashboardWindowControllerTest, ClosingHidesAndShowingAgainDoesNotReload) {
    showLoaded();
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(desktop.chrome().activateRequests(), 1);
    log.clear();

    EXPECT_FALSE(window->userCloses());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(log, std::vector<std::string>{"audio abandoned"});
    EXPECT_EQ(view->evaluations().back().source, DashboardPageScripts::windowActivity(false));

    controller->showDashboard();
    loop.runUntilIdle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(view->loads().size(), 1u);
    EXPECT_EQ(view->evaluations().back().source, DashboardPageScripts::windowActivity(true));
}

TEST_F(DashboardWindowControllerTest, SidebarTogglesOverWhateverIsStored) {
    desktop.defaults().preset(NativeUIStateStore::sidebarKey, "weird");
    make();
    EXPECT_EQ(controller->sidebarPreference(), NativeSidebarPreference::expanded);

    // Before the page is there only the store and the toolbar change.
    window->userPressesSidebarButton();
    EXPECT_EQ(desktop.defaults().value(NativeUIStateStore::sidebarKey), "collapsed");
    EXPECT_EQ(window->sidebarButtonLabel(), "Show Navigation");
    EXPECT_TRUE(view->evaluations().empty());
    EXPECT_EQ(log, std::vector<std::string>{"sidebar collapsed"});

    showLoaded();
    log.clear();
    const auto before = view->evaluations().size();
    controller->toggleSidebar();
    EXPECT_EQ(desktop.defaults().value(NativeUIStateStore::sidebarKey), "expanded");
    EXPECT_EQ(window->sidebarButtonLabel(), "Hide Navigation");
    EXPECT_EQ(evaluatedSince(before),
              std::vector<std::string>{DashboardPageScripts::sidebar(NativeSidebarPreference::expanded)});
    EXPECT_EQ(log, std::vector<std::string>{"sidebar expanded"});
}

TEST_F(DashboardWindowControllerTest, ThePageMovesTheSidebarAndAsksForSettings) {
    showLoaded();
    log.clear();
    const auto engine = testing::engineMainFrame();
    view->postMessage("murmoUIState", engine, R"({"sidebar":"collapsed"})");
    view->postMessage("murmoUIState", engine, R"({"sidebarWidth":180.5})");
    view->postMessage("murmoSettings", engine, R"({"action":"open","section":"speech"})");
    view->postMessage("murmoSettings", engine, R"({"action":"close"})");
    view->postMessage("murmoTheme", engine, R"({"preference":"dark","resolved":"dark"})");
    loop.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"sidebar collapsed", "settings speech"}));
    EXPECT_EQ(window->sidebarButtonLabel(), "Show Navigation");
    EXPECT_EQ(window->sidebarStripWidth(), 180.5);
    EXPECT_EQ(preferences->snapshot().appearance.preference, NativeAppearancePreference::dark);
    EXPECT_EQ(window->appearance(), WindowAppearance::darkAqua);
}

TEST_F(DashboardWindowControllerTest, ActivationsReachThePermissionsAndTheSelection) {
    showLoaded();
    log.clear();
    const auto before = view->evaluations().size();
    desktop.chrome().userDeactivates();
    desktop.chrome().userActivates();
    loop.runUntilIdle();
    EXPECT_EQ(log, std::vector<std::string>{"permissions changed"});
    const auto sent = evaluatedSince(before);
    EXPECT_EQ(std::ranges::count(sent, std::string(DashboardPageScripts::permissionsChanged())), 1);
}

TEST_F(DashboardWindowControllerTest, ShutdownRemovesHandlersInOrderAndKeepsTheAudioOneAnswering) {
    int commands = 0;
    controller->audioBridge().onCommand = [&commands](NativeAudioCommand, WebAudioReply) { ++commands; };
    showLoaded();
    const auto logStart = view->log().size();

    controller->shutdown();
    std::vector<std::string> after(view->log().begin() + static_cast<std::ptrdiff_t>(logStart), view->log().end());
    EXPECT_EQ(after, (std::vector<std::string>{
                         "handler- dorvexWritingCopy",
                         "handler- dorvexFileExport",
                         "handler- murmoPermissions",
                         "handler- murmoSettings",
                         "handler- murmoTheme",
                         "handler- murmoNativePreferences",
                         "handler- murmoUIState",
                         "handler- murmoSelection",
                         "handler- murmoApplicationIcons",
                         "handler- murmoNativeUpdate",
                         "stop",
                     }));
    EXPECT_TRUE(controller->isShutDown());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(view->hasHandler(NativeAudioBridge::kHandlerName));

    // The coordinator is going: a recording the page starts now is told at
    // once that native audio is unavailable, and nothing reaches it.
    const auto message =
        view->postMessage(NativeAudioBridge::kHandlerName, testing::engineMainFrame(),
                          R"({"action":"begin","operation_id":"0b0c7d7e-1111-4222-8333-444455556666"})");
    loop.runUntilIdle();
    EXPECT_EQ(commands, 0);
    const auto& reply = *view->messages()[message].reply;
    EXPECT_EQ(reply.answers, 1);
    EXPECT_EQ(reply.errorMessage, NativeAudioBridge::kUnavailableText);

    // Nothing more is retried, observed or pressed; a second shutdown adds nothing.
    const auto logAfter = view->log().size();
    const auto loads = view->loads().size();
    controller->shutdown();
    window->userPressesSidebarButton();
    desktop.chrome().userActivates();
    ASSERT_TRUE(preferences->set(NativePreferenceKey::appearancePreference, std::string("dark")));
    view->terminateWebProcess(WebProcessTermination::crashed);
    loop.advance(10s);
    EXPECT_EQ(view->loads().size(), loads);
    EXPECT_EQ(window->appearance(), WindowAppearance::followSystem);
    EXPECT_EQ(desktop.defaults().value(NativeUIStateStore::sidebarKey), std::nullopt);
    EXPECT_EQ(view->log().size(), logAfter + 1);  // the crash itself
}

TEST_F(DashboardWindowControllerTest, TheSelectionRemembersTheApplicationsTheUserUsed) {
    // Seen through the page: what the selection read says of the remembered
    // application (it has no focused element here).
    const auto reason = [this] {
        const auto message = view->postMessage("murmoSelection", testing::engineMainFrame(), R"({"action":"read"})");
        loop.runUntilIdle();
        const auto& reply = *view->messages()[message].reply;
        return json::parse(reply.valueJSON.value_or("{}")).value_or(json::Json::object()).value("reason", "");
    };
    desktop.launch({.pid = 700, .application = SimApplicationInfo{.localizedName = "Editor"}});
    desktop.launch({.pid = 701, .application = SimApplicationInfo{.localizedName = "Mail"}});
    EXPECT_EQ(reason(), "previous_application_unavailable");
    desktop.userActivatesApplication(700);
    EXPECT_EQ(reason(), "no_focused_element");

    // The application in front when the window is made counts too.
    desktop.setFrontmost(701);
    make();
    EXPECT_EQ(reason(), "no_focused_element");
    desktop.terminate(701);
    EXPECT_EQ(reason(), "previous_application_unavailable");
}

}  // namespace
}  // namespace murmo
