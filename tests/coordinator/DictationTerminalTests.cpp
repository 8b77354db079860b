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

}  // namespace
}  // namespace murmo::testing
