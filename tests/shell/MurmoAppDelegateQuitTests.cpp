#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

#include "AppDelegateWorld.h"
#include "shell/MurmoAppDelegate.h"
#include "shell/dashboard/DashboardPageScripts.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::AppDelegateWorld;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

// The world after launch with the page loaded and the window closed, so a
// refused quit shows in the window coming back.
class QuitTest : public ::testing::Test {
protected:
    void launchAndHideDashboard() {
        w.launch();
        w.finishPageLoad();
        w.window().userCloses();
        // The window's notices come first, so that the next evaluation is the
        // close question.
        w.loop.runUntilIdle();
        ASSERT_FALSE(w.window().isVisible());
    }

    // How many close questions the page was asked.
    std::size_t closeQuestions() {
        const auto body = std::string(DashboardPageScripts::prepareToCloseFunctionBody());
        return static_cast<std::size_t>(std::ranges::count_if(
            w.page().evaluations(), [&](const SimEvaluation& evaluation) { return evaluation.source == body; }));
    }
    std::size_t lastEvaluation() { return w.page().evaluations().size() - 1; }
    const std::vector<std::string>& steps() { return w.chrome().terminationSteps(); }

    AppDelegateWorld w;
};

struct PageAnswer {
    const char* name;
    SimScriptOutcome outcome;
    // For an answer that comes later: when, and what.
    std::optional<Duration> answeredAt;
    WebScriptResult lateAnswer = std::optional<json::Json>();
    bool quits;
};

TEST_F(QuitTest, OnlyAJsonTrueWithinFiveSecondsLetsTheQuitGoOn) {
    const std::vector<PageAnswer> answers{
        {"true at once", SimScriptOutcome::resolveValue(true), std::nullopt, {}, true},
        {"true at 4.9 s", SimScriptOutcome::later(), 4900ms, std::optional<json::Json>(true), true},
        {"true at 6 s", SimScriptOutcome::later(), 6s, std::optional<json::Json>(true), false},
        {"false", SimScriptOutcome::resolveValue(false), std::nullopt, {}, false},
        {"the number 1", SimScriptOutcome::resolveValue(1), std::nullopt, {}, false},
        {"the string true", SimScriptOutcome::resolveValue("true"), std::nullopt, {}, false},
        {"no value", SimScriptOutcome::noValue(), std::nullopt, {}, false},
        {"an error", SimScriptOutcome::throws("close failed"), std::nullopt, {}, false},
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.name);
        AppDelegateWorld world;
        world.launch();
        world.finishPageLoad();
        world.window().userCloses();
        world.loop.runUntilIdle();

        world.page().scriptNextEvaluation(answer.outcome);
        world.chrome().terminate();
        world.loop.runUntilIdle();
        if (answer.answeredAt) {
            world.loop.advance(*answer.answeredAt);
            world.page().completeEvaluation(world.page().evaluations().size() - 1, answer.lateAnswer);
        }
        world.loop.advance(6s);

        const auto& steps = world.chrome().terminationSteps();
        EXPECT_THAT(steps, Contains(answer.quits ? "reply:yes" : "reply:no"));
        EXPECT_EQ(std::ranges::count_if(steps, [](const std::string& s) { return s.starts_with("reply"); }), 1);
        EXPECT_EQ(world.chrome().terminated(), answer.quits);
        EXPECT_EQ(world.window().isVisible(), !answer.quits) << "a refusal shows the dashboard";
        EXPECT_EQ(world.delegate->coordinator()->isShuttingDown(), answer.quits);
        EXPECT_EQ(world.delegate->isTerminating(), answer.quits);
        EXPECT_EQ(world.delegate->didFinishShutdown(), answer.quits);
    }
}

TEST_F(QuitTest, ASecondQuitDuringTheWaitStartsNothingAndTheFirstReplyDecides) {
    launchAndHideDashboard();
    w.page().scriptNextEvaluation(SimScriptOutcome::later());
    w.chrome().terminate();
    w.loop.runUntilIdle();
    w.chrome().terminate();
    w.loop.advance(1s);
    EXPECT_EQ(closeQuestions(), 1u);
    EXPECT_THAT(steps(), ElementsAre("asked:later", "asked:later"));

    w.page().completeEvaluation(lastEvaluation(), std::optional<json::Json>(true));
    w.loop.runUntilIdle();
    EXPECT_TRUE(w.chrome().terminated());
    EXPECT_EQ(w.delegate->applicationShouldTerminate(), TerminateReply::now) << "after the positive reply";
}

TEST_F(QuitTest, AfterARefusalANewQuitAsksThePageAgain) {
    launchAndHideDashboard();
    w.page().scriptNextEvaluation(SimScriptOutcome::resolveValue(false));
    w.chrome().terminate();
    w.loop.runUntilIdle();
    ASSERT_THAT(steps(), Contains("reply:no"));
    EXPECT_FALSE(w.delegate->isTerminating());

    w.page().scriptNextEvaluation(SimScriptOutcome::resolveValue(true));
    w.chrome().terminate();
    w.loop.runUntilIdle();
    EXPECT_EQ(closeQuestions(), 2u);
    EXPECT_TRUE(w.chrome().terminated());
}

TEST_F(QuitTest, WithoutADashboardTheQuitGoesStraightToTheShutdown) {
    auto& delegate = w.make();
    EXPECT_EQ(delegate.applicationShouldTerminate(), TerminateReply::later);
    w.loop.runUntilIdle();
    EXPECT_TRUE(delegate.didFinishShutdown());
    EXPECT_TRUE(w.chrome().windows().empty());
}

TEST_F(QuitTest, ThePositiveReplyWaitsForTheCoordinatorToStopTheEngine) {
    w.launchesEngine({});  // the engine ignores SIGTERM: only the kill after the grace period ends it
    launchAndHideDashboard();
    ASSERT_EQ(w.engines.size(), 1u);

    w.page().scriptNextEvaluation(SimScriptOutcome::resolveValue(true));
    w.chrome().terminate();
    w.loop.runUntilIdle();
    EXPECT_THAT(steps(), Not(Contains("reply:yes"))) << "the engine is still stopping";
    EXPECT_TRUE(w.delegate->coordinator()->isShuttingDown());

    ASSERT_TRUE(w.loop.pumpUntil([&] { return w.chrome().terminated(); }, 10s));
    EXPECT_THAT(steps(), Contains("reply:yes"));
    const auto signals = w.engines[0]->sentSignals();
    ASSERT_FALSE(signals.empty());
    EXPECT_EQ(signals.front().signal, SIGTERM);
    EXPECT_EQ(signals.back().signal, SIGKILL);
}

TEST_F(QuitTest, WillTerminateDropsTheObserversAndShutsTheDashboardDown) {
    launchAndHideDashboard();
    w.page().scriptNextEvaluation(SimScriptOutcome::resolveValue(true));
    w.chrome().terminate();
    w.loop.runUntilIdle();
    ASSERT_TRUE(w.chrome().terminated());

    EXPECT_TRUE(w.delegate->dashboard()->isShutDown());
    EXPECT_EQ(w.chrome().localeObserverCount(), 0u) << "runtime bindings deactivated";
    const auto updates = w.chrome().mainMenuUpdates();
    ASSERT_TRUE(w.delegate->preferencesController().set(NativePreferenceKey::uiLanguage, std::string("tr")));
    EXPECT_EQ(w.chrome().mainMenuUpdates(), updates) << "the delegate no longer observes the preferences";
}

}  // namespace
}  // namespace murmo
