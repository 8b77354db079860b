// Cancelling over the real road: a cancel the engine refuses is repeated in
// series until it answers, a pause waits for its cancel, and a broken audio
// path (the socket, the end's acknowledgement, the microphone) cancels with
// the error cue and never releases.

#include <gtest/gtest.h>

#include <functional>

#include "DictationScenario.h"
#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;
using namespace scenario;

// Answers the parked cancel with `code`, then proves the next attempt comes
// exactly `delay` later.
void failCancelThenExpectNextAfter(DictationWorld& world, Duration delay) {
    const auto before = sent(world, kCancel);
    ASSERT_TRUE(answerHeld(world, kCancelPath, status(500)));
    ASSERT_TRUE(world.jump(delay - 1ms));
    EXPECT_EQ(sent(world, kCancel), before) << "the next cancel came early";
    ASSERT_TRUE(world.jump(1ms));
    EXPECT_EQ(sent(world, kCancel), before + 1) << "the next cancel did not come";
}

TEST(DictationCancelTest, ARefusedCancelIsRepeatedInSeriesUntilTheEngineAnswers) {
    const struct {
        const char* what;
        unsigned answer;
    } rows[] = {
        {"the engine recovers", 200},
        {"the engine no longer knows the operation", 404},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        // A start the engine refuses is cancelled at once.
        world.transcripts.setStartReply(status(500));
        world.engine.setReply("POST", std::string(kCancelPath), StandInReply::held());
        const auto operation = pressAndSpeak(world, 0);
        ASSERT_TRUE(world.waitForRequest(kCancel));

        for (int series = 0; series < 2; ++series) {
            failCancelThenExpectNextAfter(world, 200ms);
            failCancelThenExpectNextAfter(world, 400ms);
            failCancelThenExpectNextAfter(world, 1500ms);
        }
        EXPECT_EQ(sent(world, kCancel), 7u);
        EXPECT_FALSE(world.coordinator->isIdle()) << "a cancel is never given up while the operation lives";
        ASSERT_TRUE(answerHeld(world, kCancelPath, status(row.answer)));
        ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
        world.releaseShortcut();
        ASSERT_TRUE(world.settle());

        EXPECT_EQ(sent(world, kCancel), 7u);
        EXPECT_EQ(sent(world, kRelease), 0u);
        EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u) << "one error cue for the operation";
        EXPECT_EQ(hudShows(world), HUDMode::Kind::error);
        EXPECT_TRUE(world.waitForControlFrame("native_audio_cancel", operation));
        world.expectInvariants("");
    }
}

TEST(DictationCancelTest, APauseMidDictationPausesTheRuntimeOnlyOnceItsCancelCompleted) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    world.engine.setReply("POST", std::string(kCancelPath), StandInReply::held());
    const auto operation = pressAndSpeak(world);

    world.coordinator->pause();
    ASSERT_TRUE(world.waitForRequest(kCancel));
    ASSERT_TRUE(world.waitForControlFrame("native_audio_cancel", operation));
    failCancelThenExpectNextAfter(world, 200ms);
    ASSERT_TRUE(world.waitForRequest(kCancel, 2));
    ASSERT_TRUE(world.settle(1));
    EXPECT_EQ(sent(world, kRuntimePause), 0u) << "the runtime pauses only after the cancel";

    ASSERT_TRUE(answerHeld(world, kCancelPath, status(200)));
    ASSERT_TRUE(world.waitForRequest(kRuntimePause));
    ASSERT_TRUE(world.settle());
    EXPECT_TRUE(world.coordinator->isIdle());
    EXPECT_TRUE(world.coordinator->paused());
    EXPECT_EQ(sent(world, kRuntimePause), 1u);
    EXPECT_EQ(sent(world, kRelease), 0u);
    EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u) << "a pause is no failure";
    world.expectInvariants("");
}

TEST(DictationCancelTest, ABrokenAudioPathCancelsWithTheErrorCueAndNoRelease) {
    const struct {
        const char* what;
        std::size_t audioBeforeTheBreak;
        // Before the press.
        std::function<void(DictationWorld&)> prepare;
        // While the user holds the shortcut (or just after letting go).
        std::function<void(DictationWorld&)> breakIt;
    } rows[] = {
        {"the event socket drops", 3, [](DictationWorld&) {},
         [](DictationWorld& world) { world.engine.dropSockets(); }},
        {"the audio end is never acknowledged", 3,
         [](DictationWorld& world) { world.engine.setAcknowledgements(StandInAcknowledgements::refuse); },
         [](DictationWorld& world) {
             world.releaseShortcut();
             ASSERT_TRUE(world.waitForControlFrame("native_audio_end"));
             // The client's wait for the acknowledgement is at least 8 s.
             ASSERT_TRUE(world.jump(10s));
         }},
        {"the microphone stops delivering", 3, [](DictationWorld&) {},
         [](DictationWorld& world) {
             world.microphone.setDelivering(false);
             ASSERT_TRUE(world.jump(6s));
         }},
        {"the microphone never delivers", 0, [](DictationWorld& world) { world.microphone.setDelivering(false); },
         [](DictationWorld& world) { ASSERT_TRUE(world.jump(4s)); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        world.transcripts.setTranscript("never released");
        row.prepare(world);
        const auto operation = pressAndSpeak(world, row.audioBeforeTheBreak);
        row.breakIt(world);
        ASSERT_TRUE(world.waitForRequest(kCancel));
        ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
        EXPECT_EQ(hudShows(world), HUDMode::Kind::error);
        world.releaseShortcut();
        ASSERT_TRUE(world.jump(2s));

        EXPECT_EQ(sent(world, kRelease), 0u);
        EXPECT_EQ(sent(world, kCancel), 1u);
        EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u);
        EXPECT_EQ(world.fieldText(), "Notes: ");
        EXPECT_EQ(reportsSent(world, operation), 0u);
        world.expectInvariants("never released");
    }
}

}  // namespace
}  // namespace murmo::testing
