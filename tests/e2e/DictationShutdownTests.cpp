// Quitting and losing the engine in the middle of a dictation: quit cancels
// the open operation synchronously, an engine that exits fails it, and a
// launched engine is stopped with its grace period before quit completes.

#include <gtest/gtest.h>

#include <signal.h>

#include "DictationScenario.h"
#include "support/DictationWorld.h"
#include "support/ProcessProbes.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;
using namespace scenario;

// The cancel's exchange had its answer before `shutdown` returned.
bool cancelAnsweredBeforeShutdownReturned(const DictationWorld& world) {
    const RequestPattern cancel(kCancel);
    for (const auto& exchange : world.exchanges()) {
        if (cancel.matches(exchange.method, pathOfTarget(exchange.target))) return exchange.answeredMark != 0;
    }
    return false;
}

TEST(DictationShutdownTest, QuitMidDictationSendsTheSynchronousCancel) {
    enum class Stage { speaking, awaitingText, textHeldForFocusRetry };
    const struct {
        const char* what;
        Stage stage;
    } rows[] = {
        {"while the user speaks", Stage::speaking},
        {"while the text is awaited", Stage::awaitingText},
        {"while the text waits for the focus retry", Stage::textHeldForFocusRetry},
    };
    const std::string text = "never written";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        if (row.stage == Stage::awaitingText) world.transcripts.queueReleaseReply(StandInReply::held());
        world.transcripts.setTranscript(text);
        const auto operation = pressAndSpeak(world);
        if (row.stage == Stage::textHeldForFocusRetry) {
            world.desktop.setFocusedElement(DictationWorld::kEditorPID, std::nullopt);
        }
        if (row.stage != Stage::speaking) {
            world.releaseShortcut();
            ASSERT_TRUE(world.waitForRequest(kRelease));
        }
        if (row.stage == Stage::textHeldForFocusRetry) {
            ASSERT_TRUE(world.waitStill([&] { return logLinesWith(world, "stage=final_receive") > 0; }));
        }

        int completions = 0;
        world.coordinator->shutdown([&] { ++completions; });
        EXPECT_EQ(sent(world, kCancel), 1u);
        EXPECT_TRUE(cancelAnsweredBeforeShutdownReturned(world)) << "quit waits for the cancel's answer";
        EXPECT_EQ(completions, 1) << "an attached engine is not stopped";
        EXPECT_TRUE(world.coordinator->isIdle());
        EXPECT_TRUE(world.teardown());
        EXPECT_EQ(completions, 1);

        EXPECT_EQ(sent(world, kRelease), row.stage == Stage::speaking ? 0u : 1u);
        EXPECT_EQ(reportsSent(world, operation), 0u);
        EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
        EXPECT_EQ(world.fieldText(), "Notes: ");
        world.expectInvariants(text, ClipboardExpectation::restored,
                               {.cancelOvertakesRelease = row.stage == Stage::awaitingText,
                                .quitCancelsAfterAnsweredRelease = row.stage == Stage::textHeldForFocusRetry});
    }
}

// Only a launched engine is supervised, so these run the stand-in program as
// the coordinator's child.
TEST(DictationShutdownTest, AnEngineThatExitsMidDictationFailsTheOperation) {
    DictationWorld world({.engineProgram = MURMO_STAND_IN_ENGINE_PATH});
    ASSERT_TRUE(world.start());
    const auto pid = world.enginePID();
    ASSERT_TRUE(pid);
    world.pressShortcut();
    ASSERT_TRUE(world.pumpUntil([&] { return cuesPlayed(world, kStartCue) == 1; })) << "the engine records";

    ASSERT_EQ(::kill(*pid, SIGKILL), 0);
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->runtimeStartFailed(); }));
    EXPECT_TRUE(world.coordinator->isIdle());
    EXPECT_FALSE(world.coordinator->runtimeStarted());
    EXPECT_TRUE(world.coordinator->paused());
    EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u);
    EXPECT_EQ(hudShows(world), HUDMode::Kind::error);
    EXPECT_EQ(logLinesWith(world, "Operation error purpose=dictation"), 1u);
    world.releaseShortcut();
    ASSERT_TRUE(world.jump(2s));
    EXPECT_EQ(sent(world, kRelease), 0u);
    EXPECT_EQ(world.fieldText(), "Notes: ");
    EXPECT_TRUE(world.teardown());
    world.expectInvariants("");
}

TEST(DictationShutdownTest, QuitStopsALaunchedEngineAfterItsGracePeriodAndCompletesOnce) {
    DictationWorld world({.engineProgram = MURMO_STAND_IN_ENGINE_PATH, .engineScenario = R"({"ignore_sigterm":true})"});
    ASSERT_TRUE(world.start());
    const auto pid = world.enginePID();
    ASSERT_TRUE(pid);
    world.pressShortcut();
    ASSERT_TRUE(world.pumpUntil([&] { return cuesPlayed(world, kStartCue) == 1; })) << "the engine records";

    int completions = 0;
    const auto began = world.loop.now();
    world.coordinator->shutdown([&] { ++completions; });
    EXPECT_EQ(sent(world, kCancel), 1u);
    EXPECT_TRUE(cancelAnsweredBeforeShutdownReturned(world));
    EXPECT_EQ(completions, 0) << "quit completes once the engine has stopped";

    ASSERT_TRUE(world.pumpUntil([&] { return completions > 0; }));
    EXPECT_GE(world.loop.now() - began, DesktopCoordinator::kEngineStopGracePeriod)
        << "an engine that ignores SIGTERM keeps its grace period before SIGKILL";
    EXPECT_EQ(logLinesWith(world, "Core stopped outcome=killed"), 1u);
    EXPECT_TRUE(processGone(*pid));
    ASSERT_TRUE(world.jump(3s));
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(world.teardown());
    EXPECT_EQ(completions, 1);
    world.expectInvariants("");
}

}  // namespace
}  // namespace murmo::testing
