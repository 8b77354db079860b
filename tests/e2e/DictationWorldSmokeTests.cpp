// The end-to-end world on its own: what works of the road today (attach,
// connection, settings, the shortcut reaching the router, the microphone
// feeding the capture, the engine scripted through the client) and that it
// settles, jumps and tears down as its header promises.

#include "support/DictationWorld.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>

#include "input/ShortcutSpecPayload.h"
#include "stand-in-engine/StandInRoutes.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kSettings = "GET /api/settings";

TEST(DictationWorldSmokeTest, AttachesToTheStandInConnectsAndTearsDownInOrder) {
    DictationWorld world;
    ASSERT_TRUE(world.start());

    EXPECT_TRUE(world.coordinator->runtimeStarted());
    EXPECT_FALSE(world.coordinator->paused());
    EXPECT_EQ(world.hudIdleState(), HUDIdleState::idle);
    EXPECT_EQ(world.engine.acceptedSocketCount(), 1u);
    EXPECT_TRUE(world.waitForRequest("GET /ws/events"));
    EXPECT_TRUE(world.waitForRequest(kSettings));
    for (const auto& request : world.engineRequests()) {
        EXPECT_TRUE(request.authorized) << request.method << " " << request.target << " lacked the desktop token";
    }
    EXPECT_EQ(world.desktop.keyTap().liveTapCount(), 1u);
    EXPECT_EQ(world.fieldText(), "Notes: ");
    EXPECT_EQ(world.clipboardItems(), world.userClipboard());
    EXPECT_TRUE(world.cuesPlayed().empty());
    world.expectInvariants("");

    EXPECT_TRUE(world.teardown());
    EXPECT_TRUE(world.coordinator->isShuttingDown());
    EXPECT_FALSE(world.client().eventSocket().hasSocket());
    EXPECT_EQ(world.transport->socketsClosed(), world.transport->socketsOpened());
    EXPECT_EQ(world.desktop.keyTap().liveTapCount(), 0u);
    EXPECT_EQ(world.engine.openSocketCount(), 0u);

    const auto sent = world.exchanges().size();
    world.loop.advance(10s);
    EXPECT_EQ(world.exchanges().size(), sent) << "no poll tick and no reconnect after teardown";
    EXPECT_TRUE(world.teardown()) << "a second teardown has nothing left to do";
}

TEST(DictationWorldSmokeTest, TheShortcutOnTheKeyTapReachesTheRouterAndNotTheEditor) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    ASSERT_TRUE(world.coordinator->activeShortcut().isFunction());

    EXPECT_EQ(world.pressShortcut(), KeyTapVerdict::swallow);
    EXPECT_EQ(world.releaseShortcut(), KeyTapVerdict::swallow);
    EXPECT_EQ(world.desktop.keyTap().send(SimKeyTap::keyDown(0)), KeyTapVerdict::pass)
        << "a key that is no shortcut reaches the application";

    const auto deliveries = world.desktop.keyTap().deliveries();
    ASSERT_EQ(deliveries.size(), 3u);
    EXPECT_EQ(deliveries[0].event.keyCode, kFunctionKeyCode);
    EXPECT_EQ(deliveries[0].event.flags, key_event_flags::secondaryFn);
    EXPECT_EQ(deliveries[1].event.flags, 0u);
    EXPECT_EQ(deliveries[0].tapID, deliveries[1].tapID) << "one router tap took both";
    EXPECT_EQ(world.fieldText(), "Notes: ");
    EXPECT_TRUE(world.teardown());
}

TEST(DictationWorldSmokeTest, AChordFromTheEngineSettingsIsPressedAsAChord) {
    DictationWorld world;
    const auto chord = ShortcutChoice::chord(49, ShortcutModifiers::control | ShortcutModifiers::option);
    auto settings = nlohmann::json::parse(standInDefaultSettings());
    settings["native_shortcut"] = ShortcutSpecPayload(chord).toJSON();
    world.engine.setReply("GET", "/api/settings", StandInReply{200, settings.dump()});
    ASSERT_TRUE(world.start());
    ASSERT_EQ(world.coordinator->activeShortcut(), chord);

    EXPECT_EQ(world.pressShortcut(), KeyTapVerdict::swallow) << "the chord's key is kept from the editor";
    EXPECT_EQ(world.releaseShortcut(), KeyTapVerdict::swallow);
    const auto deliveries = world.desktop.keyTap().deliveries();
    ASSERT_EQ(deliveries.size(), 6u) << "Control, Option, Space down, Space up, Option, Control";
    EXPECT_EQ(deliveries[2].event.type, KeyTapEventType::keyDown);
    EXPECT_EQ(deliveries[2].event.flags, key_event_flags::control | key_event_flags::alternate);
    EXPECT_EQ(world.fieldText(), "Notes: ");
}

// The engine scripted for a dictation, driven through the coordinator's own
// client as the operation road will drive it.
TEST(DictationWorldSmokeTest, TheScriptedTranscriptAnswersTheReleaseOfTheOperationTheStartNamed) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    auto& client = world.client();
    std::vector<CoreEvent> events;
    client.onEvent = [&events, forward = client.onEvent](const CoreEvent& event) {
        events.push_back(event);
        if (forward) forward(event);
    };
    const std::string text = "please move the meeting to Thursday";
    world.transcripts.setTranscript(text);
    world.transcripts.queueReleaseReply(StandInReply{503, R"({"detail":"busy"})"});

    std::vector<Result<DictationCommandResponse>> replies;
    auto keep = [&replies](Result<DictationCommandResponse> reply) { replies.push_back(std::move(reply)); };
    client.createDictation("op-reply", world.loop.now(), std::nullopt, std::nullopt, "native", 16'000, keep);
    ASSERT_TRUE(world.waitForRequest("POST /api/v1/dictations"));
    EXPECT_EQ(world.operationID(), "op-reply");
    // Each request after the previous reply, as the coordinator retries.
    ASSERT_TRUE(world.pumpUntil([&] { return replies.size() == 1; }));
    client.releaseDictation("op-reply", world.loop.now(), keep);
    ASSERT_TRUE(world.pumpUntil([&] { return replies.size() == 2; }));
    client.releaseDictation("op-reply", world.loop.now(), keep);
    ASSERT_TRUE(world.pumpUntil([&] { return replies.size() == 3; }));
    ASSERT_TRUE(replies[0]);
    EXPECT_EQ(replies[0]->phase, "recording");
    ASSERT_FALSE(replies[1]) << "the queued reply comes first";
    EXPECT_EQ(replies[1].error().code, 503);
    ASSERT_TRUE(replies[2]);
    EXPECT_EQ(replies[2]->operationID, "op-reply");
    EXPECT_EQ(replies[2]->finalText, text);

    world.transcripts.setTranscript(text, TranscriptDelivery::finalEvent);
    client.createDictation("op-event", world.loop.now(), std::nullopt, std::nullopt, "native", 16'000, keep);
    ASSERT_TRUE(world.pumpUntil([&] { return replies.size() == 4; }));
    client.releaseDictation("op-event", world.loop.now(), keep);
    ASSERT_TRUE(world.pumpUntil([&] { return replies.size() == 5 && !events.empty(); }));
    ASSERT_TRUE(replies[4]);
    EXPECT_FALSE(replies[4]->finalText);
    EXPECT_EQ(events.back().type, "dictation.final");
    EXPECT_EQ(events.back().operationID, "op-event");
    EXPECT_EQ(world.operationIDs(), (std::vector<std::string>{"op-reply", "op-event"}));
    EXPECT_EQ(world.engineRequests("POST /api/v1/dictations/*/release").size(), 3u);

    world.expectInvariants(text);
}

// Starts are the engine's to answer unless the script is given a start
// reply, so a test may script them on the engine; releases stay the script's.
TEST(DictationWorldSmokeTest, StartsMayBeScriptedOnTheEngineOrThroughTheScript) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    auto& client = world.client();
    world.transcripts.setTranscript("still answered");

    // Start and release go on connections of their own, so either may be
    // answered first.
    std::vector<Result<DictationCommandResponse>> starts;
    std::vector<Result<DictationCommandResponse>> releases;
    auto startAndRelease = [&](const std::string& operationID) {
        const auto sent = starts.size() + 1;
        client.createDictation(operationID, world.loop.now(), std::nullopt, std::nullopt, "native", 16'000,
                               [&](Result<DictationCommandResponse> reply) { starts.push_back(std::move(reply)); });
        client.releaseDictation(operationID, world.loop.now(),
                                [&](Result<DictationCommandResponse> reply) { releases.push_back(std::move(reply)); });
        return world.pumpUntil([&] { return starts.size() == sent && releases.size() == sent; });
    };

    world.engine.setReply("POST", "/api/v1/dictations", StandInReply{503, R"({"detail":"warming up"})"});
    ASSERT_TRUE(startAndRelease("op-engine"));
    world.transcripts.setStartReply(StandInReply{500, R"({"detail":"scripted"})"});
    ASSERT_TRUE(startAndRelease("op-script"));
    world.transcripts.setStartReply(std::nullopt);
    ASSERT_TRUE(startAndRelease("op-default"));

    ASSERT_EQ(starts.size(), 3u);
    ASSERT_FALSE(starts[0]);
    EXPECT_EQ(starts[0].error().code, 503);
    ASSERT_FALSE(starts[1]);
    EXPECT_EQ(starts[1].error().code, 500) << "the script's start reply replaces the engine's";
    ASSERT_TRUE(starts[2]) << "without a start reply the path is given back to the default";
    EXPECT_EQ(starts[2]->phase, "recording");
    for (const auto& release : releases) {
        ASSERT_TRUE(release);
        EXPECT_EQ(release->finalText, "still answered");
    }
    EXPECT_EQ(world.transcripts.startedOperations(),
              (std::vector<std::string>{"op-engine", "op-script", "op-default"}));
    world.expectInvariants("still answered");
}

TEST(DictationWorldSmokeTest, TheMicrophoneFeedsTheCaptureWhileItRunsAndItsChunksReachTheEngine) {
    DictationWorld world;
    ASSERT_TRUE(world.start());
    auto& capture = *world.composition.microphoneCapture;
    auto& client = world.client();
    ASSERT_EQ(capture.prepare(NativeAudioCaptureMode::raw, std::nullopt), 16'000);

    std::size_t chunks = 0;
    bool streaming = false;
    std::optional<VoiceProcessingAudioCaptureError> failure;
    ASSERT_TRUE(capture.start(
        [&](AudioChunk chunk) {
            ++chunks;
            if (!streaming) return;
            world.loop.post(
                [&client, chunk = std::move(chunk)]() mutable { client.sendNativeAudio(std::move(chunk)); });
        },
        [&](const VoiceProcessingAudioCaptureError& error) { failure = error; }));

    ASSERT_TRUE(world.jump(2s));
    EXPECT_EQ(chunks, 50u) << "one 40 ms buffer per 40 ms of the loop's time, jumps included";
    EXPECT_FALSE(failure) << "the watchdog reads the clock the audio follows";

    streaming = true;
    client.beginNativeAudio("op-audio", 16'000);
    ASSERT_TRUE(world.waitForAudioFrames(3));
    capture.stop();
    std::optional<Status> ended;
    client.endNativeAudio("op-audio", false, [&](Status status) { ended = status; });
    ASSERT_TRUE(world.waitForControlFrame("native_audio_end", "op-audio"));
    ASSERT_TRUE(world.pumpUntil([&] { return ended.has_value(); }));
    EXPECT_TRUE(*ended);

    const auto delivered = world.microphone.buffersDelivered();
    ASSERT_TRUE(world.jump(1s));
    EXPECT_EQ(world.microphone.buffersDelivered(), delivered) << "a stopped capture gets no audio";

    const auto frames = world.audioFrames();
    ASSERT_FALSE(frames.empty());
    const auto controls = world.controlFrames();
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].type, "native_audio_begin");
    for (const auto& frame : frames) {
        ASSERT_EQ(frame.bytes.size(), 640u * sizeof(float)) << "40 ms of 16 kHz mono float";
    }
    // The first frame streamed is the buffer after the 50 that were not.
    std::vector<float> samples(640);
    std::memcpy(samples.data(), frames[0].bytes.data(), frames[0].bytes.size());
    for (std::size_t i = 0; i < samples.size(); i += 97) {
        EXPECT_EQ(samples[i], SimulatedMicrophone::tone(50 * 640 + i, 16'000)) << "sample " << i;
    }
    world.expectInvariants("");
}

TEST(DictationWorldSmokeTest, AJumpWaitsForTheEngineToAnswerAndRefusesWhileARequestGoesUnanswered) {
    DictationWorld world({.waitLimit = 3s});
    ASSERT_TRUE(world.start());
    ASSERT_TRUE(world.settle()) << "the requests of the start are answered";
    const auto settingsBefore = world.engine.requestCount("/api/settings");

    ASSERT_TRUE(world.jump(DesktopCoordinator::kSettingsPollInterval));
    ASSERT_TRUE(world.waitForRequest(kSettings, settingsBefore + 1)) << "the poll's tick fired during the jump";

    world.engine.setReply("GET", "/api/settings", StandInReply::hanging());
    ASSERT_TRUE(world.jump(DesktopCoordinator::kSettingsPollInterval)) << "the previous tick's request was answered";
    ASSERT_TRUE(world.waitForRequest(kSettings, settingsBefore + 2));

    const auto before = world.loop.now();
    EXPECT_NONFATAL_FAILURE(EXPECT_FALSE(world.jump(1s)), "1 request(s) unanswered: \"GET /api/settings\"");
    EXPECT_EQ(world.loop.now(), before) << "a jump that cannot settle leaves the clock alone";
    EXPECT_TRUE(world.jump(1s, 1));
    EXPECT_EQ(world.loop.now(), before + 1s);
    EXPECT_TRUE(world.teardown()) << "the stand-in's stop ends the unanswered request";
}

}  // namespace
}  // namespace murmo::testing
