// Where the final text goes over the real road: input between the release
// and the text keeps it out of the field, a slow accessibility tree gets its
// one short retry, the text arriving twice lands once, and what arrives late
// for a cancelled dictation leaves the next one alone.

#include <gtest/gtest.h>

#include <functional>

#include "DictationScenario.h"
#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;
using namespace scenario;

constexpr std::int32_t kOtherPID = 5151;

TEST(DictationDeliveryE2ETest, InputBetweenReleaseAndFinalWritesNothingAndOffersTheText) {
    const struct {
        const char* what;
        std::function<void(DictationWorld&)> interfere;
    } rows[] = {
        {"a click", [](DictationWorld& world) { world.desktop.userClicks(); }},
        {"another application brought to front",
         [](DictationWorld& world) {
             world.desktop.launch(SimProcessSetup{
                 .pid = kOtherPID,
                 .parentPID = 1,
                 .application = SimApplicationInfo{.bundleIdentifier = "local.test.other", .localizedName = "Other"}});
             world.desktop.setFrontmost(kOtherPID);
         }},
    };
    const std::string text = "meant for the editor";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        world.transcripts.queueReleaseReply(StandInReply::held());
        const auto operation = pressAndSpeak(world);
        world.releaseShortcut();
        ASSERT_TRUE(world.waitForRequest(kRelease));

        row.interfere(world);
        ASSERT_TRUE(answerHeld(world, kReleasePath, StandInTranscriptScript::releaseReply(operation, text)));
        // The offer's four seconds start now: virtual time stands still until
        // the failure is reported.
        ASSERT_TRUE(world.waitStill([&] { return reportsSent(world, operation) == 1; }));
        ASSERT_TRUE(world.settle());
        const auto report = deliveryReport(world, operation);

        EXPECT_EQ(report.value("outcome", ""), "target_changed");
        EXPECT_EQ(report.value("method", ""), "none");
        EXPECT_EQ(world.fieldText(), "Notes: ");
        EXPECT_FALSE(commandVPostedTo(world, DictationWorld::kEditorPID));
        EXPECT_FALSE(commandVPostedTo(world, kOtherPID));
        EXPECT_EQ(cuesPlayed(world, kErrorCue), 1u);
        EXPECT_EQ(cuesPlayed(world, kSuccessCue), 0u);
        EXPECT_TRUE(world.coordinator->isIdle());
        // The words stay on offer for copying, for four seconds.
        EXPECT_EQ(hudShows(world), HUDMode::Kind::clipboard);
        ASSERT_TRUE(world.jump(3900ms));
        EXPECT_EQ(hudShows(world), HUDMode::Kind::clipboard);
        // Counted from when the panel shows it, after its animation.
        ASSERT_TRUE(world.jump(1s));
        EXPECT_NE(hudShows(world), HUDMode::Kind::clipboard);
        world.expectInvariants(text);
    }
}

// The field loses the focus just before the release, so the release-time
// capture is still waiting for the editor's tree when the text arrives; the
// text cancels that capture and waits for one short retry.
TEST(DictationDeliveryE2ETest, AFieldTheTreeIsSlowToShowGetsTheOneShortRetry) {
    const struct {
        const char* what;
        bool focusBack;
    } rows[] = {
        {"the focus is back in time", true},
        {"the focus stays missing", false},
    };
    const std::string text = "arrives early";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        world.transcripts.setTranscript(text);
        const auto operation = pressAndSpeak(world);
        world.desktop.setFocusedElement(DictationWorld::kEditorPID, std::nullopt);
        world.releaseShortcut();
        // The audio's end and the release take a few real milliseconds; then
        // virtual time stands still until the text is in, so the capture's
        // retries cannot run out first.
        ASSERT_TRUE(world.waitForRequest(kRelease));
        ASSERT_TRUE(world.waitStill([&] { return logLinesWith(world, "stage=final_receive") > 0; }));
        EXPECT_FALSE(world.coordinator->isIdle()) << "the text waits for the retry";
        EXPECT_EQ(reportsSent(world, operation), 0u);

        if (row.focusBack) world.desktop.setFocusedElement(DictationWorld::kEditorPID, world.editorField());
        const auto report = waitForReport(world, operation);
        ASSERT_TRUE(world.jump(2s));

        EXPECT_EQ(report.value("outcome", ""), "inserted");
        EXPECT_EQ(report.value("method", ""), "clipboard_paste");
        EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
        if (row.focusBack) {
            EXPECT_EQ(world.fieldText(), "Notes: " + text);
            EXPECT_EQ(report.value("verified", false), true);
            world.expectInvariants(text);
        } else {
            // Pasted into whatever has the focus in the editor: nothing shows
            // it landed, so the text stays on the clipboard for the user.
            EXPECT_EQ(logLinesWith(world, "Using current-focus compatibility delivery"), 1u);
            EXPECT_EQ(report.value("verified", true), false);
            EXPECT_EQ(report.value("reason_code", ""), "delivery_dispatched_unobservable");
            world.expectInvariants(text, ClipboardExpectation::transcriptLeft);
        }
    }
}

TEST(DictationDeliveryE2ETest, TheTextFromAFinalEventAndTheReleaseReplyIsInsertedOnce) {
    const struct {
        const char* what;
        bool eventFirst;
    } rows[] = {
        {"the event before the reply", true},
        {"the reply before the event", false},
    };
    const std::string text = "only once";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        world.transcripts.queueReleaseReply(StandInReply::held());
        const auto operation = pressAndSpeak(world);
        world.releaseShortcut();
        ASSERT_TRUE(world.waitForRequest(kRelease));

        auto finalEvent = [&] {
            pushOperationEvent(world, "dictation.final", {{"text", text}}, operation);
            ASSERT_TRUE(world.pumpUntil([&] { return logLinesWith(world, "stage=final_receive") > 0; }));
        };
        if (row.eventFirst) finalEvent();
        ASSERT_TRUE(answerHeld(world, kReleasePath, StandInTranscriptScript::releaseReply(operation, text)));
        if (!row.eventFirst) {
            ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
            finalEvent();
        }
        pushOperationEvent(world, "dictation.state_changed", {{"phase", "idle"}, {"final_text", text}}, operation);
        ASSERT_EQ(waitForReport(world, operation).value("outcome", ""), "inserted");
        ASSERT_TRUE(world.jump(2s));

        EXPECT_EQ(world.fieldText(), "Notes: " + text);
        EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
        EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
        world.expectInvariants(text);
    }
}

// Dictation A is cancelled with its release unanswered and its release-time
// capture still waiting for the tree; B follows. A's release reply, a final
// event and an idle state for A, and A's capture all come while B records.
TEST(DictationDeliveryE2ETest, LateNewsOfACancelledDictationLeavesTheNextOneAlone) {
    const struct {
        const char* what;
        std::function<void(DictationWorld&)> cancel;
    } rows[] = {
        {"cancelled by a pause",
         [](DictationWorld& world) {
             world.coordinator->pause();
             ASSERT_TRUE(world.waitForRequest(kCancel));
             ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
             world.coordinator->resume();
         }},
        {"cancelled by the watchdog",
         [](DictationWorld& world) {
             ASSERT_TRUE(world.jump(65s, 1));
             ASSERT_TRUE(world.waitForRequest(kCancel));
             ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
         }},
    };
    const std::string lateText = "words for the first";
    const std::string text = "words for the second";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DictationWorld world;
        ASSERT_TRUE(world.start());
        world.transcripts.queueReleaseReply(StandInReply::held());
        world.transcripts.setTranscript(text);

        const auto first = pressAndSpeak(world);
        world.desktop.setFocusedElement(DictationWorld::kEditorPID, std::nullopt);
        world.releaseShortcut();
        ASSERT_TRUE(world.waitForRequest(kRelease));
        row.cancel(world);
        world.desktop.setFocusedElement(DictationWorld::kEditorPID, world.editorField());

        const auto second = pressAndSpeak(world);
        ASSERT_NE(first, second);
        ASSERT_TRUE(answerHeld(world, kReleasePath, StandInTranscriptScript::releaseReply(first, lateText)));
        pushOperationEvent(world, "dictation.final", {{"text", lateText}}, first);
        pushOperationEvent(world, "dictation.state_changed", {{"phase", "idle"}, {"final_text", lateText}}, first);
        ASSERT_TRUE(world.jump(1s));
        EXPECT_FALSE(world.coordinator->isIdle()) << "the second dictation still records";
        EXPECT_EQ(world.fieldText(), "Notes: ");

        world.releaseShortcut();
        ASSERT_TRUE(world.waitForRequest(kRelease, 2));
        const auto report = waitForReport(world, second);
        ASSERT_TRUE(world.jump(2s));

        EXPECT_EQ(world.fieldText(), "Notes: " + text);
        EXPECT_EQ(report.value("outcome", ""), "inserted");
        EXPECT_EQ(reportsSent(world, first), 0u);
        EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
        EXPECT_EQ(logLinesWith(world, lateText), 0u);
        world.expectInvariants(text, ClipboardExpectation::restored, {.cancelOvertakesRelease = true});
    }
}

}  // namespace
}  // namespace murmo::testing
