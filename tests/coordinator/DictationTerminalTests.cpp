// How a dictation's end reaches the engine: one release after the audio end,
// retries, the turn to a cancel, cancel series, and the engine finishing first.

#include "DictationOperationFixture.h"

namespace murmo::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(DictationOperationTest, AHeldShortcutBecomesOneReleaseAfterTheAudioEndAndTheTextLandsOnce) {
    press();
    EXPECT_THAT(requests(), ::testing::Contains("POST /api/v1/dictations"));
    const auto start = json::parse(world.transport->lastRequest().body.value_or("")).value_or(json::Json());
    EXPECT_EQ(start.value("source", ""), "native_hotkey");
    EXPECT_EQ(start.value("audio_source", ""), "native_raw");
    EXPECT_EQ(start.value("target_app_id", ""), "local.test.notes");
    EXPECT_EQ(controlFrames("native_audio_begin").size(), 1u);
    EXPECT_EQ(cuesPlayed("dictation-start"), 0u) << "the start cue waits for the engine's recording state";
    acceptStart();
    EXPECT_EQ(cuesPlayed("dictation-start"), 1u);

    speak();
    release();
    drainAudio();
    EXPECT_EQ(controlFrames("native_audio_end").size(), 1u);
    EXPECT_EQ(count(release_()), 0u) << "the release follows the audio end's acknowledgement";
    acknowledgeAudioEnd();
    EXPECT_EQ(count(release_()), 1u);

    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","final_text":"  hello world \n"})");
    pushEvent("dictation.final", R"({"text":"hello world"})");
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "hello world");
    EXPECT_EQ(cuesPlayed("dictation-success"), 1u);
    EXPECT_EQ(world.desktop.pasteboardItems(), userClipboard());
    EXPECT_EQ(count("POST /api/v1/dictations/" + operationID() + "/delivery-result"), 1u);
    EXPECT_TRUE(coordinator->isIdle());
    EXPECT_FALSE(logged("hello world"));
}

TEST_F(DictationOperationTest, AFailingReleaseIsRetriedTwiceThenCancelled) {
    dictateAndRelease();
    answer(release_(), 500);
    loop.advance(199ms);
    EXPECT_FALSE(isPending(release_()));
    loop.advance(1ms);
    answer(release_(), 503);
    loop.advance(399ms);
    EXPECT_FALSE(isPending(release_()));
    loop.advance(1ms);
    EXPECT_EQ(errorCues(), 0u);
    answer(release_(), std::unexpected(coreTransportError(CoreTransportErrorCode::timedOut)));

    EXPECT_EQ(count(release_()), 3u);
    EXPECT_TRUE(isPending(cancel_())) << "the third failure turns into a cancel at once";
    EXPECT_EQ(errorCues(), 1u);
    answer(cancel_(), 200);
    EXPECT_TRUE(coordinator->isIdle());
    loop.advance(400ms);
    EXPECT_EQ(hudKind(), HUDMode::Kind::error);
    EXPECT_EQ(errorCues(), 1u) << "one error cue per operation";
    EXPECT_TRUE(logged("Operation finish purpose=dictation"));
}

TEST_F(DictationOperationTest, AFailingCancelIsRepeatedInSeriesUntilTheEngineAnswers) {
    press();
    answer("POST /api/v1/dictations", 500, "{}");
    for (int series = 0; series < 2; ++series) {
        answer(cancel_(), 500);
        loop.advance(200ms);
        answer(cancel_(), 500);
        loop.advance(400ms);
        answer(cancel_(), 500);
        EXPECT_FALSE(isPending(cancel_()));
        loop.advance(1499ms);
        EXPECT_FALSE(isPending(cancel_())) << "a new series waits 1.5 s";
        release();
        press();
        EXPECT_EQ(count("POST /api/v1/dictations"), 1u) << "presses are refused while the cancel is open";
        loop.advance(1ms);
        ASSERT_TRUE(isPending(cancel_()));
    }
    EXPECT_EQ(count(cancel_()), 7u);
    EXPECT_EQ(errorCues(), 1u);
    answer(cancel_(), 404);
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(DictationOperationTest, ACancelOverridesAReleaseInFlightAndItsLateReplyDoesNothing) {
    dictateAndRelease();
    ASSERT_TRUE(isPending(release_()));
    coordinator->pause();
    EXPECT_TRUE(isPending(cancel_())) << "sent at once, beside the release";
    EXPECT_FALSE(isPending("POST /api/v1/runtime/pause")) << "the runtime pauses after the cancel";

    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","final_text":"late words"})");
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "");
    EXPECT_FALSE(coordinator->isIdle());

    answer(cancel_(), 200);
    EXPECT_TRUE(coordinator->isIdle());
    EXPECT_TRUE(isPending("POST /api/v1/runtime/pause"));
    EXPECT_EQ(count(release_()), 1u);
    EXPECT_EQ(errorCues(), 0u) << "a pause is no failure";
}

TEST_F(DictationOperationTest, WhenTheEngineFinalisesFirstNoReleaseIsSent) {
    press();
    acceptStart();
    speak();
    pushEvent("warning", R"({"message_key":"backend.recording_limit_reached"})");
    drainAudio();
    EXPECT_EQ(controlFrames("native_audio_end").size(), 1u) << "the microphone ends with the engine's limit";
    acknowledgeAudioEnd();
    release();
    EXPECT_EQ(count(release_()), 0u);
    pushEvent("dictation.final", R"({"text":"limit reached"})");
    pushEvent("dictation.state_changed", R"({"phase":"idle","final_text":"limit reached"})");
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "limit reached");
    EXPECT_EQ(count(release_()), 0u);
    EXPECT_EQ(count(dictationPath("delivery-result")), 1u);
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(DictationOperationTest, TextHeldForTheLastFocusRetryOutlivesAnIdleStateWithoutText) {
    dictateAndReleaseWithoutFocusedField();
    loop.advance(1s);

    pushEvent("dictation.final", R"({"text":"held words"})");
    pushEvent("dictation.state_changed", R"({"phase":"idle"})");
    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","phase":"idle"})");
    EXPECT_EQ(errorCues(), 0u);
    EXPECT_FALSE(coordinator->isIdle()) << "the retry's delivery ends the operation";

    world.desktop.setFocusedElement(kEditorPID, editor.field);
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "held words");
    EXPECT_EQ(errorCues(), 0u);
    EXPECT_EQ(count(dictationPath("delivery-result")), 1u);
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(DictationOperationTest, SettingsPolledDuringAnOperationApplyWhenItEndsOnlyTheLatest) {
    press();
    acceptStart();
    loop.advance(2s);
    loop.advance(2s);
    const auto routers = world.routersMade;
    answer("GET /api/settings", 200,
           R"({"native_shortcut":{"kind":"chord","key_code":49,"modifiers":["control"],"display":"Ctrl-Space"}})");
    answer("GET /api/settings", 200,
           R"({"native_shortcut":{"kind":"chord","key_code":36,"modifiers":["command"],"display":"Cmd-Return"}})");
    EXPECT_EQ(world.routersMade, routers) << "the shortcut held down is not replaced";
    EXPECT_EQ(coordinator->activeShortcut(), ShortcutChoice::function());

    speak();
    release();
    acknowledgeAudioEnd();
    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","reason_code":"no_speech"})");
    EXPECT_TRUE(coordinator->isIdle());
    EXPECT_EQ(world.routersMade, routers + 1);
    EXPECT_EQ(coordinator->activeShortcut(), ShortcutChoice::chord(36, ShortcutModifiers::command));
}

}  // namespace
}  // namespace murmo::testing
