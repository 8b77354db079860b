#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using json::Json;
using namespace std::string_literals;

WebFrameInfo mainFrameAt(std::string_view url) { return {true, URL::parse(url)}; }
WebFrameInfo subframeAt(std::string_view url) { return {false, URL::parse(url)}; }

WebScriptResult valueResult(std::optional<Json> value) { return value; }

struct SimWebViewTest : ::testing::Test {
    ManualLoop loop;
    std::unique_ptr<SimWebView> view = std::make_unique<SimWebView>(loop);
};

// ---- Handlers and messages -------------------------------------------------------------

TEST_F(SimWebViewTest, HandlersAreHeldByNameUntilRemoved) {
    std::vector<std::string> seen;
    EXPECT_TRUE(view->addScriptMessageHandler("plain", [&](const ScriptMessage& m) { seen.push_back(m.handlerName); }));
    // A name is taken once; a NUL would cut the name the engine registers.
    EXPECT_FALSE(view->addScriptMessageHandlerWithReply("plain", [](const ScriptMessage&, ScriptMessageReply) {}));
    EXPECT_FALSE(view->addScriptMessageHandler("pla\0in"s, [&](const ScriptMessage&) { seen.push_back("cut"); }));

    view->postMessage("plain", mainFrameAt("http://127.0.0.1:8765/"), "{}");
    view->removeScriptMessageHandler("unknown");
    view->removeScriptMessageHandler("plain");
    view->postMessage("plain", mainFrameAt("http://127.0.0.1:8765/"), "{}");

    EXPECT_EQ(seen, std::vector<std::string>{"plain"});
    EXPECT_TRUE(view->messages()[0].delivered);
    EXPECT_FALSE(view->messages()[1].delivered);
    EXPECT_EQ(view->log(),
              (std::vector<std::string>{"handler+ plain", "handler refused", "handler refused", "message #0 plain",
                                        "handler- plain", "message #1 plain (no handler)"}));
}

TEST_F(SimWebViewTest, BodiesCrossAsJsonOrArriveAsNone) {
    struct Case {
        std::optional<std::string_view> posted;
        std::optional<Json> expected;
    };
    const std::string deep = std::string(json::kMaximumNesting + 1, '[') + std::string(json::kMaximumNesting + 1, ']');
    const std::vector<Case> cases = {
        {R"({"action":"status","enabled":true})", Json{{"action", "status"}, {"enabled", true}}},
        // A NUL inside a string survives the crossing.
        {R"("a\u0000b")", Json("a\0b"s)},
        // A lone surrogate has no JSON form our side can read.
        {R"("\ud800")", std::nullopt},
        // JSON.stringify gave nothing: a function, a cycle, undefined.
        {std::nullopt, std::nullopt},
        // Nested deeper than we ever copy or compare.
        {deep, std::nullopt},
    };
    std::vector<std::optional<Json>> bodies;
    view->addScriptMessageHandler("h", [&](const ScriptMessage& m) { bodies.push_back(m.body); });
    for (const auto& c : cases) view->postMessage("h", mainFrameAt("http://127.0.0.1/"), c.posted);
    ASSERT_EQ(bodies.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(bodies[i], cases[i].expected) << i;
}

TEST_F(SimWebViewTest, UnknownFramesReadStrictly) {
    SimWebView blind(loop, /*knowsSendingFrames=*/false);
    std::vector<ScriptMessage> messages;
    blind.addScriptMessageHandler("h", [&](const ScriptMessage& m) { messages.push_back(m); });
    blind.postMessage("h", mainFrameAt("http://127.0.0.1/"), "1");
    view->addScriptMessageHandler("h", [&](const ScriptMessage& m) { messages.push_back(m); });
    view->postMessage("h", mainFrameAt("http://127.0.0.1/"), "1");
    view->postMessage("h", subframeAt("http://127.0.0.1/"), "1");

    ASSERT_EQ(messages.size(), 3u);
    EXPECT_FALSE(messages[0].frame.has_value());
    EXPECT_FALSE(messages[0].isFromMainFrame());
    EXPECT_TRUE(messages[1].isFromMainFrame());
    EXPECT_EQ(messages[1].frame->requestURL->text(), "http://127.0.0.1/");
    EXPECT_FALSE(messages[2].isFromMainFrame());

    // Navigation: unknown counts as the main frame; only a known subframe is not.
    std::vector<NavigationAction> actions;
    blind.setEvents({.decideNavigationAction = [&](const NavigationAction& a) {
        actions.push_back(a);
        return PolicyVerdict::allow;
    }});
    blind.navigate({URL::parse("data:text/plain,x"), NavigationTarget::subframe});
    EXPECT_EQ(actions.at(0).target, NavigationTarget::unknown);
    EXPECT_TRUE(actions.at(0).targetsMainFrame());
    EXPECT_FALSE((NavigationAction{std::nullopt, NavigationTarget::subframe}.targetsMainFrame()));
    EXPECT_TRUE((NavigationAction{std::nullopt, NavigationTarget::none}.targetsMainFrame()));

    // A confirm from an unknown frame is not from the main frame.
    std::optional<ConfirmRequest> asked;
    blind.setEvents({.confirm = [&](const ConfirmRequest& r, ConfirmReply) { asked = r; }});
    blind.confirm({"Delete?", mainFrameAt("http://127.0.0.1/")});
    ASSERT_TRUE(asked);
    EXPECT_FALSE(asked->isFromMainFrame());
}

// ---- Replies -------------------------------------------------------------------------------

TEST_F(SimWebViewTest, ReplyAnswersOnceWithValueOrError) {
    std::vector<ScriptMessageReply> replies;
    view->addScriptMessageHandlerWithReply(
        "r", [&](const ScriptMessage&, ScriptMessageReply reply) { replies.push_back(std::move(reply)); });
    view->postMessage("r", mainFrameAt("http://127.0.0.1/"), "{}");
    view->postMessage("r", mainFrameAt("http://127.0.0.1/"), "{}");
    view->postMessage("r", mainFrameAt("http://127.0.0.1/"), "{}");
    ASSERT_EQ(replies.size(), 3u);

    EXPECT_TRUE(replies[0].returnValue(Json{{"ok", true}}));
    EXPECT_FALSE(replies[0].returnError("late"));
    EXPECT_FALSE(replies[0].returnValue(1));
    EXPECT_TRUE(replies[1].returnError("rejected"));
    EXPECT_FALSE(replies[1].returnValue(1));
    // A value with no JSON form answers nothing; the message stays answerable.
    EXPECT_FALSE(replies[2].returnValue(Json("\xff"s)));
    EXPECT_FALSE(replies[2].isAnswered());
    ScriptMessageReply copy = replies[2];
    EXPECT_TRUE(copy.returnError("bad value"));
    EXPECT_TRUE(replies[2].isAnswered());

    const auto& first = *view->messages()[0].reply;
    EXPECT_EQ(first.valueJSON, R"({"ok":true})");
    EXPECT_EQ(first.answers, 1);
    const auto& second = *view->messages()[1].reply;
    EXPECT_EQ(second.errorMessage, "rejected");
    EXPECT_EQ(second.answers, 1);
    EXPECT_EQ(view->messages()[2].reply->errorMessage, "bad value");
    EXPECT_EQ(view->messages()[2].reply->answers, 1);
}

TEST_F(SimWebViewTest, UnansweredReplyIsReportedDroppedWhenTheLastCopyGoes) {
    view->addScriptMessageHandlerWithReply("r", [](const ScriptMessage&, ScriptMessageReply) {});
    view->postMessage("r", mainFrameAt("http://127.0.0.1/"), "{}");
    const auto& record = *view->messages()[0].reply;
    EXPECT_TRUE(record.droppedUnanswered);
    EXPECT_EQ(record.answers, 1);
    EXPECT_FALSE(record.valueJSON || record.errorMessage);
}

TEST_F(SimWebViewTest, ReplyStaysAnswerableAfterHandlerAndViewAreGone) {
    std::optional<ScriptMessageReply> kept;
    view->addScriptMessageHandlerWithReply(
        "r", [&](const ScriptMessage&, ScriptMessageReply reply) { kept = std::move(reply); });
    view->postMessage("r", mainFrameAt("http://127.0.0.1/"), "{}");
    const auto record = view->messages()[0].reply;
    view->removeScriptMessageHandler("r");
    view.reset();

    EXPECT_TRUE(kept->returnValue(Json::array({1, 2})));
    EXPECT_EQ(record->valueJSON, "[1,2]");
    EXPECT_EQ(record->answers, 1);
    kept.reset();
    EXPECT_FALSE(record->droppedUnanswered);
}

// ---- Scripts -------------------------------------------------------------------------------

TEST_F(SimWebViewTest, EvaluationsCompleteOnTheLoopAsScripted) {
    struct Case {
        const char* name;
        SimScriptOutcome outcome;
        bool awaitsPromises;
        WebScriptResult expected;
    };
    const auto failure = [](WebScriptErrorCode code, std::string message) -> WebScriptResult {
        return std::unexpected(Error(std::string(kWebScriptErrorDomain), static_cast<long>(code), std::move(message)));
    };
    const std::vector<Case> cases = {
        {"value", SimScriptOutcome::resolveValue(true), false, std::optional<Json>(true)},
        {"none", SimScriptOutcome::noValue(), false, std::optional<Json>{}},
        {"throws", SimScriptOutcome::throws("ReferenceError"), false,
         failure(WebScriptErrorCode::scriptFailed, "ReferenceError")},
        {"promise, evaluated", SimScriptOutcome::promiseOf(true), false,
         failure(WebScriptErrorCode::unsupportedResultType, "Unsupported result type")},
        {"promise, awaited", SimScriptOutcome::promiseOf(true), true, std::optional<Json>(true)},
    };
    for (const auto& c : cases) {
        view->scriptNextEvaluation(c.outcome);
        std::optional<WebScriptResult> result;
        const auto store = [&](WebScriptResult r) { result = std::move(r); };
        if (c.awaitsPromises) {
            view->callAsyncJavaScript("return await f();", Json::object(), store);
        } else {
            view->evaluateJavaScript("f()", store);
        }
        EXPECT_FALSE(result) << c.name << ": completed inside the call";
        loop.runUntilIdle();
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(*result, c.expected) << c.name;
    }
}

TEST_F(SimWebViewTest, PendingEvaluationsFailWhenThePageGoesAway) {
    std::vector<WebScriptResult> results;
    const auto store = [&](WebScriptResult r) { results.push_back(std::move(r)); };
    view->scriptNextEvaluation(SimScriptOutcome::later());
    view->scriptNextEvaluation(SimScriptOutcome::never());
    view->scriptNextEvaluation(SimScriptOutcome::never());
    view->evaluateJavaScript("a", store);
    view->evaluateJavaScript("b", store);
    view->callAsyncJavaScript("c", Json{{"x", 1}}, store);
    EXPECT_EQ(view->evaluations()[2].arguments, (Json{{"x", 1}}));

    EXPECT_FALSE(view->completeEvaluation(1, std::optional<Json>(1)));
    EXPECT_TRUE(view->completeEvaluation(0, std::optional<Json>("done")));
    EXPECT_FALSE(view->completeEvaluation(0, std::optional<Json>("again")));
    loop.runUntilIdle();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], valueResult(Json("done")));

    view->terminateWebProcess(WebProcessTermination::crashed);
    view->evaluateJavaScript("d", store);  // the reloaded page: no outcome scripted
    loop.runUntilIdle();
    ASSERT_EQ(results.size(), 4u);
    for (std::size_t i : {1u, 2u}) {
        ASSERT_FALSE(results[i]) << i;
        EXPECT_EQ(results[i].error().code, static_cast<long>(WebScriptErrorCode::pageGone));
    }
    EXPECT_EQ(results[3], valueResult(std::nullopt));

    // Destroying the view is the page going away too.
    view->scriptNextEvaluation(SimScriptOutcome::never());
    view->evaluateJavaScript("e", store);
    view.reset();
    loop.runUntilIdle();
    ASSERT_EQ(results.size(), 5u);
    EXPECT_FALSE(results[4]);
}

TEST_F(SimWebViewTest, UserScriptsKeepTheirOrderAndGoById) {
    const auto first = view->addUserScript("one");
    const auto second = view->addUserScript("two");
    view->addUserScript("three");
    view->removeUserScript(second);
    view->removeUserScript(second);
    view->removeUserScript(999);
    EXPECT_EQ(view->userScripts(), (std::vector<std::string>{"one", "three"}));
    EXPECT_NE(first, second);
    view->removeAllUserScripts();
    EXPECT_TRUE(view->userScripts().empty());
}

// ---- Loads and navigation ------------------------------------------------------------------

TEST_F(SimWebViewTest, LoadEventsReachTheOwnerInOrder) {
    std::vector<std::string> events;
    view->setEvents({
        .provisionalLoadStarted = [&] { events.push_back("started"); },
        .loadFinished = [&] { events.push_back("finished"); },
        .loadFailed = [&](const WebLoadError& e) { events.push_back("failed " + std::to_string(e.cancelled)); },
        .provisionalLoadFailed = [&](const WebLoadError& e) { events.push_back("provisional " + e.domain); },
        .webProcessTerminated = [&](WebProcessTermination) { events.push_back("terminated"); },
    });
    const auto url = *URL::parse("http://127.0.0.1:8765/workspace");
    view->load({url, {{"X-Murmo-Desktop-Token", "t"}}, true});
    EXPECT_TRUE(view->isLoading());
    ASSERT_EQ(view->loads().size(), 1u);
    EXPECT_EQ(view->loads()[0].headers[0].second, "t");
    EXPECT_TRUE(view->loads()[0].ignoreLocalCache);

    view->beginProvisionalLoad();
    view->failProvisionalLoad({"WebKitNetworkError", 1, false});
    view->load({url, {}, true});
    view->beginProvisionalLoad();
    view->finishLoad();
    EXPECT_FALSE(view->isLoading());

    // Stopping a running load fails it as cancelled, later, on the loop.
    view->load({url, {}, true});
    view->stopLoading();
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(events.back(), "finished");
    loop.runUntilIdle();
    view->stopLoading();  // nothing running: no event
    loop.runUntilIdle();
    view->terminateWebProcess(WebProcessTermination::crashed);

    EXPECT_EQ(events, (std::vector<std::string>{"started", "provisional WebKitNetworkError", "started", "finished",
                                                "failed 1", "terminated"}));
    // The log keeps the calls and the page's doings in the order they happened.
    EXPECT_EQ(view->log(),
              (std::vector<std::string>{"load http://127.0.0.1:8765/workspace ignoring-cache", "provisional",
                                        "failedProvisional WebKitNetworkError 1",
                                        "load http://127.0.0.1:8765/workspace ignoring-cache", "provisional",
                                        "finished", "load http://127.0.0.1:8765/workspace ignoring-cache", "stop",
                                        "failed WebKitNetworkError 302 cancelled", "stop", "terminated crashed"}));
}

TEST_F(SimWebViewTest, DecisionsComeFromTheOwnerAndDefaultToAllow) {
    EXPECT_EQ(view->navigate({URL::parse("https://example.com/"), NavigationTarget::mainFrame}), PolicyVerdict::allow);
    EXPECT_EQ(view->respond({true, URL::parse("http://127.0.0.1/"), 404}), PolicyVerdict::allow);

    std::vector<std::string> windows;
    view->setEvents({
        .decideNavigationAction =
            [](const NavigationAction& a) {
                return a.url && a.url->host() == "127.0.0.1" ? PolicyVerdict::allow : PolicyVerdict::ignore;
            },
        .newWindowRequested = [&](const NavigationAction& a) { windows.push_back(a.url->text()); },
        .decideResponse =
            [](const NavigationResponse& r) {
                return r.isMainFrame && r.httpStatus >= 400 ? PolicyVerdict::ignore : PolicyVerdict::allow;
            },
    });
    EXPECT_EQ(view->navigate({URL::parse("https://example.com/"), NavigationTarget::mainFrame}), PolicyVerdict::ignore);
    EXPECT_EQ(view->navigate({std::nullopt, NavigationTarget::mainFrame}), PolicyVerdict::ignore);
    EXPECT_EQ(view->navigate({URL::parse("http://127.0.0.1/x"), NavigationTarget::subframe}), PolicyVerdict::allow);
    view->requestNewWindow({URL::parse("http://127.0.0.1/w"), NavigationTarget::none});
    EXPECT_EQ(view->respond({true, URL::parse("http://127.0.0.1/"), 404}), PolicyVerdict::ignore);
    EXPECT_EQ(view->respond({false, URL::parse("http://127.0.0.1/"), 404}), PolicyVerdict::allow);
    EXPECT_EQ(windows, std::vector<std::string>{"http://127.0.0.1/w"});
}

TEST_F(SimWebViewTest, ConfirmIsAnsweredOnceAndUnansweredMeansFalse) {
    std::optional<ConfirmReply> kept;
    view->setEvents({.confirm = [&](const ConfirmRequest&, ConfirmReply reply) { kept = std::move(reply); }});
    view->confirm({"Delete?", mainFrameAt("http://127.0.0.1/")});
    EXPECT_FALSE(view->confirms()[0].confirmed);
    EXPECT_TRUE(kept->answer(true));
    EXPECT_FALSE(kept->answer(false));
    EXPECT_EQ(view->confirms()[0].confirmed, true);
    EXPECT_EQ(view->confirms()[0].answers, 1);

    view->confirm({"Again?", mainFrameAt("http://127.0.0.1/")});
    kept.reset();
    EXPECT_EQ(view->confirms()[1].confirmed, false);
    EXPECT_EQ(view->confirms()[1].answers, 1);
}

}  // namespace
}  // namespace murmo
