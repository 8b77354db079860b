// The road every dictation takes: hold the shortcut, speak, let go, and the
// words land in the field the user was typing in.

#include <gtest/gtest.h>

#include "DictationScenario.h"
#include "stand-in-engine/StandInRoutes.h"
#include "support/DictationWorld.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;
using namespace scenario;

TEST(DictationHappyPathTest, TheWordsLandInTheFieldAndTheClipboardComesBack) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    const std::string text = "hello from the road";
    world.transcripts.setTranscript(text);
    world.transcripts.setStartReply(StandInReply::held());
    world.engine.setAcknowledgements(StandInAcknowledgements::hold);

    const auto operation = pressAndSpeak(world);
    EXPECT_EQ(cuesPlayed(world, kStartCue), 0u) << "the start cue waits for the engine's recording state";
    const auto start = world.engineRequests(kStart);
    ASSERT_EQ(start.size(), 1u);
    ASSERT_TRUE(world.engine.releaseHeldReply("/api/v1/dictations", *standInDefaultReply(start[0])));
    ASSERT_TRUE(world.pumpUntil([&] { return cuesPlayed(world, kStartCue) == 1; }));

    world.releaseShortcut();
    ASSERT_TRUE(world.waitForControlFrame("native_audio_end", operation));
    ASSERT_TRUE(world.settle());
    EXPECT_EQ(sent(world, kRelease), 0u) << "the release waits for the audio end's acknowledgement";
    world.engine.releaseHeldAcknowledgements();
    ASSERT_TRUE(world.waitForRequest(kRelease));

    // Success comes with the paste keystroke; the paste is verified and the
    // clipboard given back after the operation has closed.
    ASSERT_TRUE(world.pumpUntil([&] { return world.coordinator->isIdle(); }));
    EXPECT_TRUE(commandVPostedTo(world, DictationWorld::kEditorPID));
    EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
    EXPECT_EQ(hudShows(world), HUDMode::Kind::success);

    ASSERT_TRUE(world.jump(2s));
    EXPECT_EQ(world.fieldText(), "Notes: " + text);
    const auto report = waitForReport(world, operation);
    EXPECT_EQ(report.value("outcome", ""), "inserted");
    EXPECT_EQ(report.value("method", ""), "clipboard_paste");
    EXPECT_EQ(world.clipboardItems(), world.userClipboard());
    EXPECT_EQ(sent(world, kRelease), 1u);
    EXPECT_EQ(cuesPlayed(world, kErrorCue), 0u);
    world.expectInvariants(text);
}

TEST(DictationHappyPathTest, LiveDictationTypesTheWordsAsTheyComeAndLeavesTheClipboardAlone) {
    DictationWorld world;
    auto settings = nlohmann::json::parse(standInDefaultSettings());
    settings["fast_mode_enabled"] = true;
    settings["live_dictation_enabled"] = true;
    world.engine.setHandler("GET", "/api/settings", [body = settings.dump()](const StandInRequest&) {
        return StandInReply{200, body};
    });
    ASSERT_TRUE(world.start());
    ASSERT_TRUE(world.coordinator->audioSettings().liveDictationRequested);
    const std::string text = "typed as spoken";
    world.transcripts.setTranscript(text);

    const auto operation = pressAndSpeak(world);
    for (const auto* words : {"typed", "typed as"}) {
        world.engine.pushEvent(StandInEvent{.type = "dictation.live_commit",
                                            .dataJSON = nlohmann::json{{"text", words}}.dump(),
                                            .operationID = operation});
        ASSERT_TRUE(world.pumpUntil([&] { return world.fieldText() == "Notes: " + std::string(words); }))
            << "the field holds \"" << world.fieldText() << "\"";
    }
    world.releaseShortcut();
    ASSERT_TRUE(world.waitForRequest(kRelease));
    const auto report = waitForReport(world, operation);
    ASSERT_TRUE(world.jump(2s));

    EXPECT_EQ(world.fieldText(), "Notes: " + text) << "the final text only completes what was typed";
    EXPECT_EQ(report.value("outcome", ""), "inserted");
    EXPECT_NE(report.value("method", ""), "clipboard_paste");
    EXPECT_FALSE(commandVPostedTo(world, DictationWorld::kEditorPID));
    for (const auto& call : world.desktop.model().pasteboard.calls) {
        EXPECT_TRUE(call.operation == SimPasteboardOperation::readItems ||
                    call.operation == SimPasteboardOperation::readData)
            << "the clipboard was written";
    }
    EXPECT_EQ(cuesPlayed(world, kSuccessCue), 1u);
    world.expectInvariants(text);
}

}  // namespace
}  // namespace murmo::testing
