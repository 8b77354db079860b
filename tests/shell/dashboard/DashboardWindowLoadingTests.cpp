#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DashboardWindowWorld.h"
#include "services/NativePreferencesJavaScript.h"
#include "shell/dashboard/DashboardPageScripts.h"
#include "shell/dashboard/DashboardWindowController.h"
#include "support/BridgePageFrames.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::frameAt;
using testing::kWorkspaceURL;

const WebLoadError kConnectionRefused{"GLib-GIO", 39, false};

class DashboardWindowLoadingTest : public ::testing::Test, protected testing::DashboardWindowWorld {
protected:
    std::size_t loads() const { return view->loads().size(); }
};

TEST_F(DashboardWindowLoadingTest, EveryLoadOfTheWindowCarriesTheTokenAndIgnoresTheCache) {
    controller->showDashboard();
    view->failProvisionalLoad(kConnectionRefused);
    loop.advance(1s);
    // A new window of the engine loads in the view, an outside page does not.
    view->requestNewWindow({URL::parse("http://127.0.0.1:8765/workspace/notes"), NavigationTarget::none});
    view->requestNewWindow({URL::parse("https://example.org/help"), NavigationTarget::none});
    view->navigate({URL::parse("https://example.org/docs"), NavigationTarget::mainFrame});
    ASSERT_EQ(loads(), 3u);
    for (const auto& request : view->loads()) {
        SCOPED_TRACE(request.url.text());
        EXPECT_EQ(request.headers, (std::vector<std::pair<std::string, std::string>>{
                                       {"X-Murmo-Desktop-Token", std::string(testing::kDashboardToken)}}));
        EXPECT_TRUE(request.ignoreLocalCache);
    }
    EXPECT_EQ(loadedURLs(), (std::vector<std::string>{std::string(kWorkspaceURL), std::string(kWorkspaceURL),
                                                      "http://127.0.0.1:8765/workspace/notes"}));
    // The outside pages went to the browser, which never sees the token.
    EXPECT_EQ(opened(), (std::vector<std::string>{"https://example.org/help", "https://example.org/docs"}));
}

TEST_F(DashboardWindowLoadingTest, AnEngineThatIsDownIsRetriedEverySecondUntilItAnswers) {
    controller->showDashboard();
    EXPECT_TRUE(window->loadingView().shown);
    view->beginProvisionalLoad();
    view->failProvisionalLoad(kConnectionRefused);
    loop.advance(999ms);
    EXPECT_EQ(loads(), 1u);
    loop.advance(1ms);
    EXPECT_EQ(loads(), 2u);
    EXPECT_TRUE(window->loadingView().shown);
    EXPECT_FALSE(controller->hasLoadedDashboard());

    view->beginProvisionalLoad();
    view->finishLoad();
    EXPECT_TRUE(controller->hasLoadedDashboard());
    EXPECT_FALSE(window->loadingView().shown);
    loop.advance(1min);
    EXPECT_EQ(loads(), 2u);
}

TEST_F(DashboardWindowLoadingTest, ALoadThatNeverAnswersFailsAfterFiveSecondsAndIsRetried) {
    controller->showDashboard();
    view->beginProvisionalLoad();
    loop.advance(4999ms);
    EXPECT_TRUE(view->isLoading());
    loop.advance(1ms);
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->log().back(), "failed WebKitNetworkError 302 cancelled");
    EXPECT_TRUE(window->loadingView().shown);
    loop.advance(999ms);
    EXPECT_EQ(loads(), 1u);
    loop.advance(1ms);
    EXPECT_EQ(loads(), 2u);

    // Each load has its own five seconds; a finish ends them.
    loop.advance(4s);
    view->finishLoad();
    loop.advance(1min);
    EXPECT_EQ(loads(), 2u);
    EXPECT_TRUE(controller->hasLoadedDashboard());
}

TEST_F(DashboardWindowLoadingTest, FailuresOfTheMainPageAreRetriedAndACancelChangesNothing) {
    const struct {
        const char* why;
        std::function<void(SimWebView&)> fail;
        std::vector<std::string> heard;
        bool retried = true;
    } rows[] = {
        {"connection refused", [](SimWebView& v) { v.failProvisionalLoad(kConnectionRefused); }, {}},
        {"failed after commit",
         [](SimWebView& v) {
             v.failLoad({"WebKitNetworkError", 399, false});
         },
         {}},
        {"404 for the page",
         [](SimWebView& v) {
             EXPECT_EQ(v.respond({true, URL::parse(std::string(kWorkspaceURL)), 404}), PolicyVerdict::ignore);
         },
         {}},
        {"500 for the page",
         [](SimWebView& v) {
             v.respond({true, URL::parse(std::string(kWorkspaceURL)), 500});
         },
         {}},
        {"web process crashed",
         [](SimWebView& v) { v.terminateWebProcess(WebProcessTermination::crashed); },
         {"audio abandoned"}},
        {"cancelled",
         [](SimWebView& v) {
             v.failProvisionalLoad({"WebKitNetworkError", 302, true});
         },
         {},
         false},
        {"404 of a subframe",
         [](SimWebView& v) {
             EXPECT_EQ(v.respond({false, URL::parse("http://127.0.0.1:8765/frame"), 404}), PolicyVerdict::allow);
         },
         {},
         false},
        {"redirect",
         [](SimWebView& v) {
             v.respond({true, URL::parse(std::string(kWorkspaceURL)), 302});
         },
         {},
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        make();
        showLoaded();
        log.clear();
        row.fail(*view);
        EXPECT_EQ(log, row.heard);
        EXPECT_EQ(controller->hasLoadedDashboard(), !row.retried);
        EXPECT_EQ(window->loadingView().shown, row.retried);
        loop.advance(1s);
        EXPECT_EQ(loads(), row.retried ? 2u : 1u);
    }
}

TEST_F(DashboardWindowLoadingTest, ANewPageAbandonsTheRecordingAndAFinishCancelsTheRetry) {
    showLoaded();
    log.clear();
    view->beginProvisionalLoad();
    EXPECT_EQ(log, std::vector<std::string>{"audio abandoned"});
    EXPECT_FALSE(controller->hasLoadedDashboard());
    view->failProvisionalLoad(kConnectionRefused);
    view->beginProvisionalLoad();
    view->finishLoad();
    loop.advance(1min);
    EXPECT_EQ(loads(), 1u);
    // Showing a loaded dashboard loads nothing.
    controller->showDashboard();
    EXPECT_EQ(loads(), 1u);
}

TEST_F(DashboardWindowLoadingTest, AFinishedLoadUpdatesThePageAndShowsAPendingSection) {
    controller->setPendingSettingsSection(NativeSettingsSection::personalize);
    controller->showDashboard();
    view->beginProvisionalLoad();
    view->finishLoad();
    loop.runUntilIdle();
    ASSERT_GE(view->evaluations().size(), 3u);
    EXPECT_EQ(evaluatedSince(0)[0], DashboardPageScripts::selectSettings(NativeSettingsSection::personalize));
    EXPECT_EQ(evaluatedSince(0)[1], NativePreferencesJavaScript::broadcast(preferences->snapshot()));
    EXPECT_EQ(evaluatedSince(0)[2], DashboardPageScripts::windowActivity(true));
    EXPECT_FALSE(controller->pendingSettingsSection());
}

TEST_F(DashboardWindowLoadingTest, NavigationStaysOnTheEngineAndOpensWebAndMailOutside) {
    const struct {
        const char* url;
        NavigationTarget target;
        PolicyVerdict verdict;
        std::optional<const char*> opened;
    } rows[] = {
        {"http://127.0.0.1:8765/workspace/other", NavigationTarget::mainFrame, PolicyVerdict::allow, std::nullopt},
        {"http://127.0.0.1:80/workspace", NavigationTarget::mainFrame, PolicyVerdict::ignore,
         "http://127.0.0.1:80/workspace"},
        {"http://localhost:8765/", NavigationTarget::unknown, PolicyVerdict::ignore, "http://localhost:8765/"},
        {"mailto:help@example.org", NavigationTarget::mainFrame, PolicyVerdict::ignore, "mailto:help@example.org"},
        {"file:///etc/passwd", NavigationTarget::mainFrame, PolicyVerdict::ignore, std::nullopt},
        {"data:text/html,hi", NavigationTarget::subframe, PolicyVerdict::allow, std::nullopt},
        {"data:text/html,hi", NavigationTarget::mainFrame, PolicyVerdict::ignore, std::nullopt},
        {"about:blank", NavigationTarget::mainFrame, PolicyVerdict::allow, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        const auto before = opened().size();
        EXPECT_EQ(view->navigate({URL::parse(row.url), row.target}), row.verdict);
        const std::vector<std::string> expected =
            row.opened ? std::vector<std::string>{*row.opened} : std::vector<std::string>{};
        EXPECT_EQ(std::vector<std::string>(opened().begin() + static_cast<std::ptrdiff_t>(before), opened().end()),
                  expected);
    }
    EXPECT_EQ(view->navigate({std::nullopt, NavigationTarget::mainFrame}), PolicyVerdict::ignore);
    EXPECT_TRUE(view->loads().empty());
}

TEST_F(DashboardWindowLoadingTest, NewWindowsLoadInTheViewOpenOutsideOrAreDropped) {
    showLoaded();
    const struct {
        std::optional<const char*> url;
        NavigationTarget target;
        std::optional<const char*> loaded;
        std::optional<const char*> opened;
    } rows[] = {
        {"http://127.0.0.1:8765/workspace#/notes", NavigationTarget::none, "http://127.0.0.1:8765/workspace",
         std::nullopt},
        // window.open() of the empty page would leave the dashboard blank.
        {"about:blank", NavigationTarget::none, std::nullopt, std::nullopt},
        {"https://example.org/", NavigationTarget::none, std::nullopt, "https://example.org/"},
        {"file:///tmp/x", NavigationTarget::none, std::nullopt, std::nullopt},
        {std::nullopt, NavigationTarget::none, std::nullopt, std::nullopt},
        // Only a request known to have no target frame does anything.
        {"http://127.0.0.1:8765/workspace", NavigationTarget::mainFrame, std::nullopt, std::nullopt},
        {"https://example.org/", NavigationTarget::unknown, std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url.value_or("(none)"));
        const auto loadsBefore = loads();
        const auto opensBefore = opened().size();
        view->requestNewWindow({row.url ? URL::parse(*row.url) : std::nullopt, row.target});
        EXPECT_EQ(loads(), loadsBefore + (row.loaded ? 1 : 0));
        if (row.loaded) {
            EXPECT_EQ(view->loads().back().url.text(), *row.loaded);
        }
        EXPECT_EQ(opened().size(), opensBefore + (row.opened ? 1 : 0));
        if (row.opened) {
            EXPECT_EQ(opened().back(), *row.opened);
        }
    }
}

TEST_F(DashboardWindowLoadingTest, ConfirmsFromTheEnginePageAreAskedOnASheetOnce) {
    showLoaded();
    const auto engine = testing::engineMainFrame();
    // Refused without a sheet: another origin, a subframe, a frame the view
    // cannot name.
    const std::optional<WebFrameInfo> refused[] = {frameAt("http://example.org/"),
                                                   frameAt("http://127.0.0.1:8765/", false), std::nullopt};
    for (const auto& frame : refused) {
        const auto index = view->confirm({"Delete?", frame});
        EXPECT_EQ(view->confirms()[index].confirmed, false);
        EXPECT_EQ(view->confirms()[index].answers, 1);
    }
    EXPECT_TRUE(desktop.chrome().alerts().empty());

    const auto asked = view->confirm({"Delete this note?\n\u00a0\u3000 It cannot be undone. \u3000\n", engine});
    ASSERT_EQ(desktop.chrome().alerts().size(), 1u);
    const auto& sheet = desktop.chrome().alerts().back();
    EXPECT_EQ(sheet.sheetWindow, window->id());
    EXPECT_EQ(sheet.request, (AlertRequest{.style = AlertStyle::warning,
                                           .messageText = "Delete this note?",
                                           .informativeText = "It cannot be undone.",
                                           .buttons = {{"Confirm", true}, {"Cancel", false}}}));
    EXPECT_FALSE(view->confirms()[asked].confirmed);
    desktop.chrome().pressReturnOnAlert(0);
    loop.runUntilIdle();
    EXPECT_EQ(view->confirms()[asked].confirmed, true);
    EXPECT_EQ(view->confirms()[asked].answers, 1);

    const auto cancelled = view->confirm({"Leave?", engine});
    desktop.chrome().chooseAlertButton(1, 1);
    loop.runUntilIdle();
    EXPECT_EQ(view->confirms()[cancelled].confirmed, false);
    EXPECT_EQ(desktop.chrome().alerts().back().request.informativeText, "");
}

}  // namespace
}  // namespace murmo
