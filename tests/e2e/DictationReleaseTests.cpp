// How a dictation's end reaches the engine over the real road: the release
// and its retries, the watchdog that bounds the wait for the text, and the
// engine finishing the operation by itself.

#include <gtest/gtest.h>

#include "DictationScenario.h"
#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;
using namespace scenario;

TEST(DictationReleaseTest, AFailedReleaseIsSentAgainAfterTwoThenFourTenthsOfASecond) {
    const struct {
        const char* what;
        unsigned statuses[3];
        bool delivered;
    } rows[] = {
        {"the third attempt is answered", {500, 500, 200}, true},
        {"three failures turn into a cancel", {500, 503, 500}, false},
    };
    const std::string text = "third time lucky";
    const Duration retryDelays[] = {200ms, 400ms};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        // Each attempt is parked until answered, so the retry's clock starts
        // exactly when the failure arrives.
        for (int i = 0; i < 3; ++i) world.transcripts.queueReleaseReply(StandInReply::held());
        const auto operation = pressAndSpeak(world);
        world.releaseShortcut();

        for (std::size_t attempt = 0; attempt < 3; ++attempt) {
            ASSERT_TRUE(world.waitForRequest(kRelease, attempt + 1));
            const auto code = row.statuses[attempt];
            ASSERT_TRUE(
                answerHeld(world, kReleasePath,
                           code == 200 ? StandInTranscriptScript::releaseReply(operation, text) : status(code)));
            if (attempt == 2) break;
            ASSERT_TRUE(world.jump(retryDelays[attempt] - 1ms));
            EXPECT_EQ(sent(world, kRelease), attempt + 1) << "attempt " << attempt + 2 << " came early";
            ASSERT_TRUE(world.jump(1ms));
            EXPECT_EQ(sent(world, kRelease), attempt + 2) << "attempt " << attempt + 2 << " did not come";
        }
        if (!row.delivered) {
            ASSERT_TRUE(world.waitForRequest(kCancel)) << "the third failure cancels at once";
        }
        ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
        EXPECT_EQ(hudShows(world), row.delivered ? HUDMode::Kind::success : HUDMode::Kind::error);
        ASSERT_TRUE(world.jump(2s));

        EXPECT_EQ(sent(world, kRelease), 3u);
        if (row.delivered) {
            EXPECT_EQ(world.fieldText(), "Notes: " + text);
            EXPECT_EQ(sent(world, kCancel), 0u);
            EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
            EXPECT_EQ(waitForReport(world, operation).value("outcome", ""), "inserted");
        } else {
            EXPECT_EQ(world.fieldText(), "Notes: ");
            EXPECT_EQ(sent(world, kCancel), 1u);
            EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u);
            EXPECT_EQ(reportsSent(world, operation), 0u);
        }
        world.expectInvariants(row.delivered ? text : "");
    }
}

// The deadline is fixed when the user lets go: news that the engine is still
// working restarts the timer towards the same deadline, not a new one.
TEST(DictationReleaseTest, WithoutAFinalTheWatchdogCancelsSixtyFiveSecondsAfterTheRelease) {
    const struct {
        const char* what;
        std::optional<Duration> processingNewsAt;
    } rows[] = {
        {"no news from the engine", std::nullopt},
        {"the engine says it is processing at +30 s", 30s},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        // A release reply without text would fail the operation at once;
        // this one never comes until the test says so.
        world.transcripts.queueReleaseReply(StandInReply::held());
        const auto operation = pressAndSpeak(world);
        world.releaseShortcut();
        const auto releasedAt = world.loop.now();
        ASSERT_TRUE(world.waitForRequest(kRelease));

        if (row.processingNewsAt) {
            ASSERT_TRUE(world.jump(releasedAt + *row.processingNewsAt - world.loop.now(), 1));
            const auto armed = logLinesWith(world, "Processing watchdog armed");
            pushOperationEvent(world, "dictation.state_changed", {{"phase", "processing"}}, operation);
            ASSERT_TRUE(world.pumpUntil([&] { return logLinesWith(world, "Processing watchdog armed") > armed; }));
        }
        ASSERT_TRUE(world.jump(releasedAt + 65s - 1ms - world.loop.now(), 1));
        EXPECT_EQ(sent(world, kCancel), 0u) << "cancelled before the deadline";
        EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
        ASSERT_TRUE(world.jump(1ms, 1));
        EXPECT_EQ(sent(world, kCancel), 1u) << "not cancelled at the deadline";
        ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
        EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u);
        EXPECT_EQ(hudShows(world), HUDMode::Kind::error);

        // The release's answer, when it finally comes, changes nothing.
        ASSERT_TRUE(answerHeld(world, kReleasePath, StandInTranscriptScript::releaseReply(operation, "too late")));
        ASSERT_TRUE(world.jump(2s));
        EXPECT_EQ(world.fieldText(), "Notes: ");
        EXPECT_EQ(reportsSent(world, operation), 0u);
        EXPECT_EQ(sent(world, kRelease), 1u);
        world.expectInvariants("too late", ClipboardExpectation::restored, {.cancelOvertakesRelease = true});
    }
}

TEST(DictationReleaseTest, WhenTheEngineFinalisesFirstNoReleaseIsEverSent) {
    const struct {
        const char* what;
        bool finalEvent;
        bool idleWithText;
    } rows[] = {
        {"a final event", true, false},
        {"an idle state with the final text", false, true},
        {"both", true, true},
    };
    const std::string text = "the limit was reached";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        world.transcripts.setTranscript("a release would get this");
        const auto operation = pressAndSpeak(world);

        pushOperationEvent(world, "warning", {{"message_key", "backend.recording_limit_reached"}}, operation);
        ASSERT_TRUE(world.waitForControlFrame("native_audio_end", operation))
            << "the microphone ends with the engine's limit";
        world.releaseShortcut();
        ASSERT_TRUE(world.settle());
        if (row.finalEvent) pushOperationEvent(world, "dictation.final", {{"text", text}}, operation);
        if (row.idleWithText) {
            pushOperationEvent(world, "dictation.state_changed", {{"phase", "idle"}, {"final_text", text}}, operation);
        }
        const auto report = waitForReport(world, operation);
        ASSERT_TRUE(world.jump(2s));

        EXPECT_EQ(world.fieldText(), "Notes: " + text);
        EXPECT_EQ(report.value("outcome", ""), "inserted");
        EXPECT_EQ(sent(world, kRelease), 0u);
        EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
        world.expectInvariants(text);
    }
}

}  // namespace
}  // namespace murmo::testing
