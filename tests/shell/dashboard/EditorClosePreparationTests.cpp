#include "shell/dashboard/EditorClosePreparation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"
#include "shell/dashboard/DashboardPageScripts.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

WebScriptResult value(json::Json json) { return std::optional<json::Json>(std::move(json)); }
WebScriptResult noValue() { return std::optional<json::Json>(); }
WebScriptResult scriptError() {
    return fail(std::string(kWebScriptErrorDomain), static_cast<long>(WebScriptErrorCode::scriptFailed), "boom");
}

// Every verdict the wait handed out, with when it arrived.
struct Verdicts {
    struct Verdict {
        bool mayClose;
        Duration at;
    };
    std::vector<Verdict> seen;
};

class EditorClosePreparationTest : public ::testing::Test {
protected:
    Duration elapsed() const { return loop.now() - start; }

    EditorClosePreparation::Completion recordInto(Verdicts& verdicts) {
        return [this, &verdicts](bool mayClose) { verdicts.seen.push_back({mayClose, elapsed()}); };
    }

    ManualLoop loop;
    MonotonicTime start = loop.now();
};

TEST_F(EditorClosePreparationTest, OnlyATrueAnswerBeforeTheTimeOutLetsTheQuitGoOn) {
    struct Row {
        const char* what;
        // Absent: the page never answers.
        std::optional<Duration> answerAt;
        WebScriptResult answer;
        bool mayClose;
        Duration decidedAt;
    };
    const Row rows[] = {
        {"true at once", 0s, value(true), true, 0s},
        {"true at 4.9 s", 4900ms, value(true), true, 4900ms},
        {"true at 6 s, after the refusal at 5 s", 6s, value(true), false, 5s},
        {"false", 0s, value(false), false, 0s},
        {"the number 1", 0s, value(1), false, 0s},
        {"the string \"true\"", 0s, value("true"), false, 0s},
        {"an object", 1s, value(json::Json{{"ok", true}}), false, 1s},
        {"no value", 0s, noValue(), false, 0s},
        {"an error", 2s, scriptError(), false, 2s},
        {"no answer", std::nullopt, value(true), false, 5s},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        start = loop.now();
        Verdicts verdicts;
        int evaluations = 0;
        // Empty until the page has been asked.
        WebScriptCompletion page;
        EditorClosePreparation::wait(
            loop, EditorClosePreparation::kTimeout,
            [&](WebScriptCompletion completion) {
                ++evaluations;
                // An answer at once comes inside the call, before any turn of the loop.
                if (row.answerAt == 0s) {
                    completion(row.answer);
                } else {
                    page = std::move(completion);
                }
            },
            recordInto(verdicts));
        if (row.answerAt && *row.answerAt > 0s) {
            loop.advance(*row.answerAt);
            page(row.answer);
        }
        loop.runUntilIdle();
        loop.advance(10s);

        EXPECT_EQ(evaluations, 1);
        ASSERT_EQ(verdicts.seen.size(), 1u) << "the completion runs exactly once";
        EXPECT_EQ(verdicts.seen[0].mayClose, row.mayClose);
        EXPECT_EQ(verdicts.seen[0].at, row.decidedAt);
    }
}

TEST_F(EditorClosePreparationTest, TheVerdictIsPostedNeverRunInsideTheCall) {
    Verdicts verdicts;
    EditorClosePreparation::wait(
        loop, 5s, [](WebScriptCompletion completion) { completion(value(true)); }, recordInto(verdicts));
    EXPECT_TRUE(verdicts.seen.empty());
    loop.runUntilIdle();
    ASSERT_EQ(verdicts.seen.size(), 1u);
    EXPECT_TRUE(verdicts.seen[0].mayClose);
}

TEST_F(EditorClosePreparationTest, WhatTheCompletionHoldsIsReleasedOnceItHasRun) {
    auto owner = std::make_shared<int>(0);
    std::weak_ptr<int> watched = owner;
    WebScriptCompletion page;
    bool decided = false;
    EditorClosePreparation::wait(
        loop, 5s, [&](WebScriptCompletion completion) { page = std::move(completion); },
        [owner = std::move(owner), &decided](bool) { decided = true; });
    loop.advance(1s);
    page(value(true));
    loop.runUntilIdle();
    EXPECT_TRUE(decided);
    // The page still holds its completion and the loop the cancelled
    // time-out; neither keeps what the owner's completion captured.
    EXPECT_TRUE(watched.expired());
}

TEST_F(EditorClosePreparationTest, AWaitNobodyCanEndAnyMoreEndsWithoutCallingBack) {
    auto owner = std::make_shared<int>(0);
    std::weak_ptr<int> watched = owner;
    bool called = false;
    {
        ManualLoop shortLived;
        WebScriptCompletion page;
        EditorClosePreparation::wait(
            shortLived, 5s, [&](WebScriptCompletion completion) { page = std::move(completion); },
            [owner = std::move(owner), &called](bool) { called = true; });
        shortLived.advance(1s);
        // The page drops the evaluation unanswered, then the loop goes
        // with the time-out.
        page = nullptr;
    }
    EXPECT_FALSE(called);
    EXPECT_TRUE(watched.expired());
}

// The wait against the view's awaited evaluation of the close function.
TEST_F(EditorClosePreparationTest, ThroughTheWebViewsAwaitedEvaluation) {
    struct Row {
        const char* what;
        SimScriptOutcome outcome;
        bool mayClose;
        Duration decidedAt;
    };
    const Row rows[] = {
        {"a promise of true", SimScriptOutcome::promiseOf(true), true, 0s},
        {"true", SimScriptOutcome::resolveValue(true), true, 0s},
        {"a promise of 1", SimScriptOutcome::promiseOf(1), false, 0s},
        {"undefined", SimScriptOutcome::noValue(), false, 0s},
        {"a throw", SimScriptOutcome::throws("TypeError"), false, 0s},
        {"never", SimScriptOutcome::never(), false, 5s},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        start = loop.now();
        SimWebView view(loop);
        view.scriptNextEvaluation(row.outcome);
        Verdicts verdicts;
        EditorClosePreparation::wait(
            loop, EditorClosePreparation::kTimeout,
            [&view](WebScriptCompletion completion) {
                view.callAsyncJavaScript(DashboardPageScripts::prepareToCloseFunctionBody(), nullptr,
                                         std::move(completion));
            },
            recordInto(verdicts));
        loop.runUntilIdle();
        loop.advance(10s);
        ASSERT_EQ(verdicts.seen.size(), 1u);
        EXPECT_EQ(verdicts.seen[0].mayClose, row.mayClose);
        EXPECT_EQ(verdicts.seen[0].at, row.decidedAt);
        ASSERT_EQ(view.evaluations().size(), 1u);
        EXPECT_TRUE(view.evaluations()[0].awaitsPromises);
        EXPECT_EQ(view.evaluations()[0].source, DashboardPageScripts::prepareToCloseFunctionBody());
    }
}

TEST_F(EditorClosePreparationTest, APageThatGoesAwayWhileAskedRefusesTheQuitAtOnce) {
    auto view = std::make_unique<SimWebView>(loop);
    view->scriptNextEvaluation(SimScriptOutcome::never());
    Verdicts verdicts;
    EditorClosePreparation::wait(
        loop, EditorClosePreparation::kTimeout,
        [&view](WebScriptCompletion completion) {
            view->callAsyncJavaScript(DashboardPageScripts::prepareToCloseFunctionBody(), nullptr,
                                      std::move(completion));
        },
        recordInto(verdicts));
    loop.advance(1s);
    view->terminateWebProcess(WebProcessTermination::crashed);
    loop.runUntilIdle();
    loop.advance(10s);
    ASSERT_EQ(verdicts.seen.size(), 1u);
    EXPECT_FALSE(verdicts.seen[0].mayClose);
    EXPECT_EQ(verdicts.seen[0].at, 1s);
}

}  // namespace
}  // namespace murmo
