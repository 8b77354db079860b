// The dashboard page recording through the application's microphone, in
// virtual time: every command answered once, one recording at a time, and
// never a dictation's stream cut by the page.

#include "DictationOperationFixture.h"

namespace murmo::testing {
namespace {

constexpr std::string_view kPageOperation = "9d8c7b6a-5f4e-4d3c-8b2a-1f0e9d8c7b6a";

TEST(WebAudioReplyTest, AnswersOnceAndADroppedReplySaysTheServiceIsUnavailable) {
    std::vector<json::Json> sent;
    {
        WebAudioReply reply([&](json::Json answer) { sent.push_back(std::move(answer)); });
        reply.answer(json::Json{{"ended", true}});
        reply.answer(json::Json{{"ended", false}});
        WebAudioReply moved(std::move(reply));
    }
    {
        WebAudioReply dropped([&](json::Json answer) { sent.push_back(std::move(answer)); });
    }
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], (json::Json{{"ended", true}}));
    EXPECT_EQ(sent[1].value("code", ""), "audio_service_unavailable");
}

class DashboardRecordingTest : public DictationOperationTest {
protected:
    // Sends one page command; its answers land in `answers[id]`.
    void command(NativeAudioCommand::Action action, std::string_view id = kPageOperation) {
        const auto key = std::string(id);
        coordinator->handleWebAudio(NativeAudioCommand{action, key}, WebAudioReply([this, key](json::Json answer) {
                                        answers[key].push_back(std::move(answer));
                                    }));
        loop.runUntilIdle();
    }
    const json::Json& lastAnswer(std::string_view id = kPageOperation) { return answers[std::string(id)].back(); }
    std::size_t answerCount(std::string_view id = kPageOperation) { return answers[std::string(id)].size(); }
    void begin() {
        command(NativeAudioCommand::Action::begin);
        answer("GET /api/settings", 200, settingsBody());
    }
    std::string pageCancel() const { return "POST /api/v1/dictations/" + std::string(kPageOperation) + "/cancel"; }

    std::map<std::string, std::vector<json::Json>> answers;
    std::vector<std::string> failures;
};

TEST_F(DashboardRecordingTest, ABeginCapturesUnderThePagesIdAndShortcutsWait) {
    coordinator->onWebAudioFailure = [this](const std::string&, const std::string& code, const std::string&) {
        failures.push_back(code);
    };
    begin();
    ASSERT_EQ(answerCount(), 1u);
    EXPECT_EQ(lastAnswer().value("enabled", false), true);
    EXPECT_EQ(lastAnswer().value("audio_source", ""), "native_raw");
    EXPECT_EQ(lastAnswer().value("sample_rate", 0), 48000);
    ASSERT_EQ(controlFrames("native_audio_begin").size(), 1u);
    EXPECT_EQ(controlFrames("native_audio_begin")[0].value("operation_id", ""), kPageOperation);

    press();
    EXPECT_EQ(count("POST /api/v1/dictations"), 0u) << "a shortcut press is ignored";
    release();

    command(NativeAudioCommand::Action::begin, "11111111-2222-4333-8444-555555555555");
    EXPECT_EQ(lastAnswer("11111111-2222-4333-8444-555555555555").value("code", ""), "recording_busy");

    command(NativeAudioCommand::Action::end);
    EXPECT_EQ(answerCount(), 1u) << "the end waits for the engine's acknowledgement";
    drainAudio();
    deliverEvent(R"({"type":"native_audio_end_ack","operation_id":")" + std::string(kPageOperation) + R"("})");
    EXPECT_EQ(lastAnswer(), (json::Json{{"ended", true}}));

    press();
    EXPECT_EQ(count("POST /api/v1/dictations"), 0u) << "refused until the engine is done with the recording";
    release();
    pushEvent("state", R"({"phase":"idle"})", std::string(kPageOperation));
    press();
    EXPECT_EQ(count("POST /api/v1/dictations"), 1u);
    EXPECT_TRUE(failures.empty());
}

TEST_F(DashboardRecordingTest, ABeginThatCannotGoOnIsAnsweredWithItsReason) {
    // Cancelled before the settings arrive: no capture starts.
    command(NativeAudioCommand::Action::begin);
    command(NativeAudioCommand::Action::cancel);
    EXPECT_EQ(lastAnswer(), (json::Json{{"ended", true}}));
    answer("GET /api/settings", 200, settingsBody());
    EXPECT_EQ(lastAnswer().value("code", ""), "recording_cancelled");
    EXPECT_EQ(world.desktop.audioEngines().engines().size(), 0u);

    // The engine does not give its settings: the claim is released.
    command(NativeAudioCommand::Action::begin);
    answer("GET /api/settings", 500);
    EXPECT_EQ(lastAnswer().value("code", ""), "audio_settings_unavailable");
    begin();
    EXPECT_EQ(lastAnswer().value("enabled", false), true) << "the next begin is accepted";

    // An end for an id never begun.
    command(NativeAudioCommand::Action::end, "00000000-1111-4222-8333-444444444444");
    EXPECT_EQ(lastAnswer("00000000-1111-4222-8333-444444444444"), (json::Json{{"ended", true}}));
}

TEST_F(DashboardRecordingTest, APageNamingTheDictationCannotCutItsMicrophone) {
    press();
    acceptStart();
    speak();
    const auto id = operationID();
    command(NativeAudioCommand::Action::cancel, id);
    command(NativeAudioCommand::Action::end, id);
    EXPECT_EQ(answerCount(id), 2u);
    EXPECT_EQ(lastAnswer(id), (json::Json{{"ended", true}}));
    EXPECT_TRUE(controlFrames("native_audio_cancel").empty());
    EXPECT_TRUE(controlFrames("native_audio_end").empty());
    EXPECT_TRUE(world.desktop.audioEngines().latest()->isRunning());

    release();
    acknowledgeAudioEnd();
    EXPECT_TRUE(isPending(release_())) << "the dictation ends whole";
}

TEST_F(DashboardRecordingTest, AbandoningTheRecordingStopsItCancelsItAndTellsThePage) {
    const struct {
        const char* what;
        void (DesktopCoordinator::*abandon)();
        std::string code;
    } rows[] = {
        {"window closed", &DesktopCoordinator::cancelWebAudio, "recording_cancelled"},
        {"paused", &DesktopCoordinator::pause, "recording_paused"},
    };
    coordinator->onWebAudioFailure = [this](const std::string&, const std::string& code, const std::string&) {
        failures.push_back(code);
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        failures.clear();
        begin();
        ((*coordinator).*row.abandon)();
        EXPECT_FALSE(world.desktop.audioEngines().latest()->isRunning());
        EXPECT_TRUE(isPending(pageCancel()));
        EXPECT_EQ(failures, std::vector<std::string>{row.code});
        answerAll(pageCancel(), 200, "{}");
        coordinator->resume();
        answerBackground();
    }
}

TEST_F(DashboardRecordingTest, ACoordinatorGoneMidBeginStillAnswers) {
    command(NativeAudioCommand::Action::begin);
    coordinator->shutdown({});
    coordinator.reset();
    loop.runUntilIdle();
    answerAll("GET /api/settings", 200, settingsBody());
    ASSERT_EQ(answerCount(), 1u);
    EXPECT_EQ(lastAnswer().value("code", ""), "audio_service_unavailable");
    coordinator = world.makeCoordinator(CoordinatorWorld::attachingConfiguration());
}

}  // namespace
}  // namespace murmo::testing
