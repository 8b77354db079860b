#include "shell/dashboard/DashboardNavigationPolicy.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

constexpr const char* kEngine = "http://127.0.0.1:8765";

URL parsed(std::string_view text) {
    auto url = URL::parse(text);
    EXPECT_TRUE(url) << text;
    return url.value_or(URL{});
}

// Null for a request without an address.
std::optional<URL> optionalURL(const char* text) { return text ? std::optional(parsed(text)) : std::nullopt; }

std::string describe(NavigationTarget target) {
    switch (target) {
        case NavigationTarget::mainFrame: return "main";
        case NavigationTarget::subframe: return "sub";
        case NavigationTarget::none: return "none";
        case NavigationTarget::unknown: return "unknown";
    }
    return "?";
}

TEST(DashboardNavigationPolicyTest, NavigationActions) {
    struct Case {
        const char* engineURL;
        const char* url;
        NavigationTarget target;
        PolicyVerdict verdict;
        // Null: nothing opens outside.
        const char* opened;
    };
    using enum NavigationTarget;
    constexpr auto allow = PolicyVerdict::allow;
    constexpr auto cancel = PolicyVerdict::ignore;
    const Case cases[] = {
        // Anywhere on the engine's own origin stays in the view.
        {kEngine, "http://127.0.0.1:8765/workspace", mainFrame, allow, nullptr},
        {kEngine, "http://127.0.0.1:8765/settings/general?tab=2", mainFrame, allow, nullptr},
        {kEngine, "HTTP://127.0.0.1:8765/x", mainFrame, allow, nullptr},
        {"http://LocalHost:8765", "http://localhost:8765/x", mainFrame, allow, nullptr},
        {kEngine, "http://127.0.0.1:8765/x", subframe, allow, nullptr},
        // Another port, another name for the same host or another scheme is
        // another origin: the browser gets it.
        {kEngine, "http://127.0.0.1:8766/workspace", mainFrame, cancel, "http://127.0.0.1:8766/workspace"},
        {kEngine, "http://127.0.0.1/workspace", mainFrame, cancel, "http://127.0.0.1/workspace"},
        {kEngine, "http://localhost:8765/workspace", mainFrame, cancel, "http://localhost:8765/workspace"},
        {kEngine, "https://127.0.0.1:8765/workspace", mainFrame, cancel, "https://127.0.0.1:8765/workspace"},
        {kEngine, "https://example.com/help", mainFrame, cancel, "https://example.com/help"},
        {kEngine, "https://example.com/embed", subframe, cancel, "https://example.com/embed"},
        // The explicit default port is the same as none.
        {"http://127.0.0.1", "http://127.0.0.1:80/x", mainFrame, allow, nullptr},
        {"http://127.0.0.1:80", "http://127.0.0.1/x", mainFrame, allow, nullptr},
        {"https://localhost", "https://localhost:443/x", mainFrame, allow, nullptr},
        {"http://127.0.0.1", "http://127.0.0.1:443/x", mainFrame, cancel, "http://127.0.0.1:443/x"},
        // Mail goes to the mail program; other schemes are cancelled and
        // nothing opens.
        {kEngine, "mailto:team@example.com", mainFrame, cancel, "mailto:team@example.com"},
        {kEngine, "MAILTO:team@example.com", mainFrame, cancel, "mailto:team@example.com"},
        {kEngine, "file:///etc/passwd", mainFrame, cancel, nullptr},
        {kEngine, "ftp://example.com/file", mainFrame, cancel, nullptr},
        {kEngine, "javascript:void(0)", mainFrame, cancel, nullptr},
        {kEngine, nullptr, mainFrame, cancel, nullptr},
        {kEngine, nullptr, subframe, cancel, nullptr},
        // Blob and data content only inside embedded frames; an unknown frame
        // or a new window counts as the main frame.
        {kEngine, "blob:http://127.0.0.1:8765/0a1b", subframe, allow, nullptr},
        {kEngine, "data:text/plain,hello", subframe, allow, nullptr},
        {kEngine, "blob:http://127.0.0.1:8765/0a1b", mainFrame, cancel, nullptr},
        {kEngine, "data:text/plain,hello", mainFrame, cancel, nullptr},
        {kEngine, "data:text/plain,hello", unknown, cancel, nullptr},
        {kEngine, "data:text/plain,hello", none, cancel, nullptr},
        // The empty page is the view's own.
        {kEngine, "about:blank", mainFrame, allow, nullptr},
        {kEngine, "about:blank", subframe, allow, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.engineURL) + " -> " + (c.url ? c.url : "(no URL)") + " in " + describe(c.target));
        const DashboardNavigationPolicy policy(parsed(c.engineURL));
        const auto decision = policy.decideNavigation({optionalURL(c.url), c.target});
        EXPECT_EQ(decision.verdict, c.verdict);
        EXPECT_EQ(decision.openOutside ? decision.openOutside->text() : "(nothing)", c.opened ? c.opened : "(nothing)");
    }
}

TEST(DashboardNavigationPolicyTest, NewWindowRequests) {
    struct Case {
        const char* url;
        NavigationTarget target;
        DashboardNewWindowDecision::Action action;
    };
    using enum NavigationTarget;
    using enum DashboardNewWindowDecision::Action;
    const Case cases[] = {
        // window.open of an engine page replaces the dashboard in the view.
        {"http://127.0.0.1:8765/workspace#/notes", none, loadInView},
        {"http://127.0.0.1:80/workspace", none, openOutside},
        {"https://example.com/", none, openOutside},
        {"mailto:team@example.com", none, openOutside},
        // The empty page would leave a blank dashboard that counts as loaded.
        {"about:blank", none, drop},
        {nullptr, none, drop},
        {"file:///etc/passwd", none, drop},
        {"data:text/html,hello", none, drop},
        {"blob:http://127.0.0.1:8765/0a1b", none, drop},
        // A request with a target frame (or one the view cannot name) is not
        // a new window of ours.
        {"http://127.0.0.1:8765/workspace", mainFrame, drop},
        {"https://example.com/", subframe, drop},
        {"https://example.com/", unknown, drop},
    };
    const DashboardNavigationPolicy policy(parsed(kEngine));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.url ? c.url : "(no URL)") + " in " + describe(c.target));
        const auto decision = policy.decideNewWindow({optionalURL(c.url), c.target});
        EXPECT_EQ(decision.action, c.action);
        // The address goes with every action but a drop, as the page gave it.
        const auto expectedURL = c.action == drop ? std::string("(nothing)") : parsed(c.url).text();
        EXPECT_EQ(decision.url ? decision.url->text() : "(nothing)", expectedURL);
    }
}

TEST(DashboardNavigationPolicyTest, ConfirmsComeOnlyFromTheEnginePageInTheMainFrame) {
    struct Case {
        const char* what;
        std::optional<WebFrameInfo> frame;
        bool allowed;
    };
    const Case cases[] = {
        {"main frame on the engine", WebFrameInfo{true, parsed("http://127.0.0.1:8765/workspace")}, true},
        {"main frame, default port spelled out", WebFrameInfo{true, parsed("http://127.0.0.1:8765/")}, true},
        {"subframe on the engine", WebFrameInfo{false, parsed("http://127.0.0.1:8765/workspace")}, false},
        {"frame the view cannot name", std::nullopt, false},
        {"main frame without an address", WebFrameInfo{true, std::nullopt}, false},
        {"main frame elsewhere", WebFrameInfo{true, parsed("https://example.com/")}, false},
        {"main frame on another port", WebFrameInfo{true, parsed("http://127.0.0.1:9000/")}, false},
        {"main frame showing data", WebFrameInfo{true, parsed("data:text/html,hello")}, false},
    };
    const DashboardNavigationPolicy policy(parsed(kEngine));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(policy.allowsConfirm({"Discard the draft?", c.frame}), c.allowed);
    }
}

// A view that cannot tell frames apart reports every navigation target as
// unknown: embedded blob and data content is then refused rather than let
// into the main frame.
TEST(DashboardNavigationPolicyTest, AViewBlindToFramesGetsTheStrictReading) {
    ManualLoop loop;
    SimWebView view(loop, /*knowsSendingFrames=*/false);
    const DashboardNavigationPolicy policy(parsed(kEngine));
    std::vector<std::string> opened;
    view.setEvents({
        .decideNavigationAction =
            [&](const NavigationAction& action) {
                auto decision = policy.decideNavigation(action);
                if (decision.openOutside) opened.push_back(decision.openOutside->text());
                return decision.verdict;
            },
    });

    EXPECT_EQ(view.navigate({parsed("data:text/plain,hello"), NavigationTarget::subframe}), PolicyVerdict::ignore);
    EXPECT_EQ(view.navigate({parsed("http://127.0.0.1:8765/x"), NavigationTarget::subframe}), PolicyVerdict::allow);
    EXPECT_EQ(view.navigate({parsed("https://example.com/"), NavigationTarget::subframe}), PolicyVerdict::ignore);
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.com/"});
}

}  // namespace
}  // namespace murmo
