// From the key press to the engine recording: what opens an operation, which
// microphone mode it gets, and what the engine's start reply decides.

#include "DictationOperationFixture.h"

namespace murmo::testing {
namespace {

using ::testing::Contains;
using ::testing::Not;

json::Json lastStartBody(const FakeCoreTransport& transport) {
    for (auto it = transport.requests().rbegin(); it != transport.requests().rend(); ++it) {
        if (it->url.target() == "/api/v1/dictations") return json::parse(it->body.value_or("")).value_or(json::Json());
    }
    return {};
}

TEST_F(DictationOperationTest, TheStartReplyDecidesWhetherTheOperationGoesOn) {
    const struct {
        const char* what;
        int status;
        // "{id}" stands for the operation's id.
        std::string body;
        bool releasedFirst;
        bool cancelled;
        bool startCue;
    } rows[] = {
        {"recording", 200, R"({"phase":"recording","operation_id":"{id}"})", false, false, true},
        {"engine error", 500, "{}", false, true, false},
        {"another operation", 200, R"({"phase":"recording","operation_id":"elsewhere"})", false, true, false},
        {"no operation id", 200, R"({"phase":"recording"})", false, true, false},
        {"not recording", 200, R"({"phase":"processing","operation_id":"{id}"})", false, true, false},
        {"a later phase after the release", 200, R"({"phase":"processing","operation_id":"{id}"})", true, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto startCues = cuesPlayed("dictation-start");
        const auto errors = errorCues();
        press();
        speak();
        if (row.releasedFirst) release();
        auto body = row.body;
        if (auto at = body.find("{id}"); at != std::string::npos) body.replace(at, 4, operationID());
        answer("POST /api/v1/dictations", row.status, body);
        EXPECT_EQ(cuesPlayed("dictation-start") - startCues, row.startCue ? 1u : 0u);
        EXPECT_EQ(isPending(cancel_()), row.cancelled);
        if (row.cancelled) {
            EXPECT_EQ(errorCues() - errors, 1u);
            EXPECT_EQ(world.desktop.audioEngines().latest()->isRunning(), false) << "the microphone stops at once";
            answer(cancel_(), 200);
            if (!row.releasedFirst) release();
        } else {
            if (!row.releasedFirst) release();
            acknowledgeAudioEnd();
            answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","reason_code":"no_speech"})");
        }
        EXPECT_TRUE(coordinator->isIdle());
        answerBackground();
    }
}

TEST_F(DictationOperationTest, ACancelTheEngineNoLongerKnowsEndsTheOperation) {
    // An engine that never created the operation answers its cancel with
    // 404 or 410; dictation must not stay locked.
    for (int status : {404, 410}) {
        SCOPED_TRACE(status);
        press();
        answer("POST /api/v1/dictations", 500, "{}");
        answer(cancel_(), status);
        EXPECT_TRUE(coordinator->isIdle());
        release();
        press();
        EXPECT_TRUE(isPending("POST /api/v1/dictations")) << "the next press starts a dictation";
        answer("POST /api/v1/dictations", 500, "{}");
        answer(cancel_(), 200);
        release();
    }
}

TEST_F(DictationOperationTest, TheMicrophoneModeFollowsTheSettingsAndThePermission) {
    const std::string noiseReduction =
        R"("background_noise_reduction_enabled":true,"background_noise_reduction":{"available":true})";
    const struct {
        const char* what;
        std::string settings;
        bool voiceProcessingFails;
        MicrophoneAuthorizationStatus permission;
        std::optional<std::string> source;
    } rows[] = {
        {"raw without noise reduction", "", false, MicrophoneAuthorizationStatus::authorized, "native_raw"},
        {"voice processed with it", noiseReduction, false, MicrophoneAuthorizationStatus::authorized,
         "native_voice_processing"},
        {"raw when voice processing fails", noiseReduction, true, MicrophoneAuthorizationStatus::authorized,
         "native_raw"},
        {"no fallback without permission", noiseReduction, true, MicrophoneAuthorizationStatus::denied, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        loop.advance(2s);
        answerAll("GET /api/settings", 200, settingsBody(row.settings));
        answerBackground();
        world.desktop.microphonePermission().setStatus(row.permission);
        if (row.voiceProcessingFails) {
            world.desktop.audioEngines().failStep(SimAudioEngineStep::voiceProcessing, "com.test.audio", -10);
        }
        const auto starts = count("POST /api/v1/dictations");
        const auto errors = errorCues();
        press();
        if (row.source) {
            ASSERT_EQ(count("POST /api/v1/dictations"), starts + 1);
            EXPECT_EQ(lastStartBody(*world.transport).value("audio_source", ""), *row.source);
            answer("POST /api/v1/dictations", 500, "{}");
            answer(cancel_(), 200);
        } else {
            EXPECT_EQ(count("POST /api/v1/dictations"), starts) << "nothing is started without a microphone";
            EXPECT_EQ(errorCues() - errors, 1u);
        }
        release();
        EXPECT_TRUE(coordinator->isIdle());
        world.desktop.audioEngines().clearFailure(SimAudioEngineStep::voiceProcessing);
        world.desktop.microphonePermission().setStatus(MicrophoneAuthorizationStatus::authorized);
    }
}

TEST_F(DictationOperationTest, AnUndecidedPermissionIsAskedForWithoutWaiting) {
    world.desktop.microphonePermission().setStatus(MicrophoneAuthorizationStatus::notDetermined);
    press();
    EXPECT_EQ(count("POST /api/v1/dictations"), 0u);
    EXPECT_EQ(world.desktop.microphonePermission().requestCount(), 1);
    EXPECT_EQ(errorCues(), 1u);
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(DictationOperationTest, AChosenMicrophoneWithoutANameCannotRecord) {
    loop.advance(2s);
    answerAll("GET /api/settings", 200, settingsBody(R"("audio_device":7,"audio_device_name":"")"));
    press();
    EXPECT_EQ(count("POST /api/v1/dictations"), 0u);
    EXPECT_EQ(errorCues(), 1u);
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(DictationOperationTest, APressWhileTheLastStreamStillEndsIsIgnored) {
    dictateAndRelease();
    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","reason_code":"no_speech"})");
    ASSERT_TRUE(coordinator->isIdle());

    // The next dictation's audio end is not yet acknowledged when the user
    // lets go; a press meanwhile opens nothing.
    press();
    acceptStart();
    speak();
    const auto first = operationID();
    world.desktop.keyTap().send(SimKeyTap::flagsChanged(kFunctionKeyCode, 0));
    loop.runUntilIdle();
    press();
    EXPECT_EQ(operationID(), first);
    EXPECT_EQ(count("POST /api/v1/dictations"), 2u);
}

class DictationBeforeSettingsTest : public DictationOperationTest {
protected:
    bool appliesSettings() const override { return false; }
};

TEST_F(DictationBeforeSettingsTest, APressBeforeTheSettingsArriveSendsNothing) {
    press();
    EXPECT_THAT(requests(), Not(Contains("POST /api/v1/dictations")));
    EXPECT_EQ(world.desktop.audioEngines().engines().size(), 0u) << "the microphone stays off";
    EXPECT_EQ(errorCues(), 1u);
    EXPECT_TRUE(coordinator->isIdle());
}

}  // namespace
}  // namespace murmo::testing
