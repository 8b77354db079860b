// What an assistant operation's answer does on the coordinator, in virtual
// time: shown (with Confirm and Cancel when it proposes an action), spoken,
// refused when it only echoes the question, and looked up when the release
// brought none.

#include "DictationOperationFixture.h"

namespace murmo::testing {
namespace {

class AgentAnswerTest : public DictationOperationTest {
protected:
    void SetUp() override {
        DictationOperationTest::SetUp();
        useAgentSettings("text");
    }

    void useAgentSettings(std::string_view responseMode) {
        loop.advance(2s);
        answerAll("GET /api/settings", 200,
                  settingsBody(R"("agent_mode_enabled":true,"agent_activation_policy":"dedicated",)"
                               R"("agent_native_shortcut":{"kind":"chord","key_code":49,"modifiers":["control"],)"
                               R"("display":"Ctrl-Space"},"agent_response_mode":")" +
                               std::string(responseMode) + "\""));
        ASSERT_TRUE(coordinator->agentModeEnabled());
        answerBackground();
    }

    // Holds Control-Space, asks, lets go; the release request waits.
    void ask(std::string_view question = "what is the weather") {
        world.desktop.keyTap().send(SimKeyTap::flagsChanged(59, key_event_flags::control));
        world.desktop.keyTap().send(SimKeyTap::keyDown(49, key_event_flags::control));
        loop.runUntilIdle();
        answer("POST /api/v1/agent/operations", 200,
               R"({"phase":"recording","operation_id":")" + operationID() + R"("})");
        speak();
        pushEvent("dictation.raw_final", R"({"text":")" + std::string(question) + R"("})");
        world.desktop.keyTap().send(SimKeyTap::keyUp(49, key_event_flags::control));
        world.desktop.keyTap().send(SimKeyTap::flagsChanged(59, 0));
        loop.runUntilIdle();
        acknowledgeAudioEnd();
    }
    std::string agentPath(std::string_view action = {}, std::optional<std::string> id = {}) const {
        auto path = "/api/v1/agent/operations/" + id.value_or(operationID());
        if (!action.empty()) path += "/" + std::string(action);
        return path;
    }
    void releaseReply(const std::string& extra = {}) {
        answer("POST " + agentPath("release"), 200,
               R"({"operation_id":")" + operationID() + R"(")" + (extra.empty() ? "" : "," + extra) + "}");
    }
    std::string panelText() const { return world.hud->state().content.agentAnswerScroll.text; }
};

TEST_F(AgentAnswerTest, AnAnswerThatProposesAnActionIsConfirmedByTheUserOnly) {
    ask();
    releaseReply(
        R"("agent_answer":{"display_text":"Send the mail to Ada?","spoken_text":"Send the mail to Ada?","requires_confirmation":true,)"
        R"("confirmation_token":"tok-1","confirmation_label":"Sends one mail"})");
    EXPECT_TRUE(coordinator->isIdle());
    loop.advance(400ms);
    EXPECT_EQ(hudKind(), HUDMode::Kind::agentAnswer);
    EXPECT_EQ(panelText(), "Send the mail to Ada?");
    EXPECT_EQ(cuesPlayed("dictation-success"), 1u);
    const auto answered = operationID();

    world.hud->confirmAgentAnswer();
    loop.runUntilIdle();
    ASSERT_TRUE(isPending("POST " + agentPath("confirm", answered)));
    EXPECT_EQ(json::parse(world.transport->lastRequest().body.value_or("")).value_or(json::Json()).value("token", ""),
              "tok-1");
    answer("POST " + agentPath("confirm", answered), 200, R"({"display_text":"Sent.","spoken_text":"Sent."})");
    loop.advance(400ms);
    EXPECT_EQ(panelText(), "Sent.");
    EXPECT_EQ(cuesPlayed("dictation-success"), 1u) << "the follow-up is no second delivery";
}

TEST_F(AgentAnswerTest, ANewPressCancelsTheShownAnswersOwnOperation) {
    ask();
    releaseReply(
        R"("agent_answer":{"display_text":"Delete it?","spoken_text":"Delete it?","requires_confirmation":true,)"
        R"("confirmation_token":"tok-2"})");
    const auto answered = operationID();
    loop.advance(400ms);
    ask("another question");
    EXPECT_NE(operationID(), answered);
    EXPECT_EQ(count("DELETE " + agentPath({}, answered)), 1u);
    EXPECT_EQ(count("DELETE " + agentPath()), 0u);
}

TEST_F(AgentAnswerTest, AVoiceAnswerIsSpokenAndTheHUDReturnsToRest) {
    useAgentSettings("voice");
    ask();
    releaseReply(R"("agent_answer":{"display_text":"It is sunny.","spoken_text":"It is sunny.","language":"en-GB"})");
    const auto& spoken = world.desktop.speechSynthesizer().spoken();
    ASSERT_EQ(spoken.size(), 1u);
    EXPECT_EQ(spoken[0].text, "It is sunny.");
    EXPECT_EQ(spoken[0].rate, 0.5f);
    loop.advance(1s);
    EXPECT_NE(hudKind(), HUDMode::Kind::agentAnswer);
    EXPECT_TRUE(coordinator->isIdle());
}

TEST_F(AgentAnswerTest, AnAnswerThatOnlyEchoesTheQuestionIsNeverShown) {
    ask("what is the weather");
    releaseReply(R"("agent_answer":{"display_text":"What  is the Weather","spoken_text":"What  is the Weather"})");
    EXPECT_TRUE(coordinator->isIdle());
    EXPECT_EQ(errorCues(), 1u);
    loop.advance(400ms);
    EXPECT_NE(panelText(), "What  is the Weather");
    EXPECT_EQ(panelText(), "Dorvex Agent returned an invalid answer. Please try again.");
    EXPECT_TRUE(logged("Agent answer rejected reason=agent_question_echo"));
}

TEST_F(AgentAnswerTest, AMissingAnswerIsLookedUpThreeTimes) {
    ask();
    releaseReply();
    pushEvent("state", R"({"phase":"idle"})");
    const auto lookup = "GET " + agentPath();
    loop.advance(249ms);
    EXPECT_EQ(count(lookup), 0u);
    loop.advance(1ms);
    EXPECT_EQ(count(lookup), 1u) << "asked for by the reply and the idle state, scheduled once";
    answer(lookup, 200, R"({"state":"running"})");
    loop.advance(400ms);
    answer(lookup, 200, R"({"state":"running"})");
    loop.advance(600ms);
    answer(lookup, 200, R"({"state":"running"})");
    EXPECT_EQ(count(lookup), 3u);
    EXPECT_FALSE(coordinator->isIdle()) << "left to the watchdog";
    EXPECT_EQ(errorCues(), 0u);
    loop.advance(2s);
    EXPECT_EQ(count(lookup), 3u);
}

TEST_F(AgentAnswerTest, ALookupFindsTheAnswerOrTheFailure) {
    ask();
    releaseReply();
    loop.advance(250ms);
    answer("GET " + agentPath(), 200,
           R"({"state":"succeeded","answer":{"display_text":"Found it.","spoken_text":"Found it."}})");
    EXPECT_TRUE(coordinator->isIdle());
    loop.advance(400ms);
    EXPECT_EQ(panelText(), "Found it.");

    ask();
    releaseReply();
    loop.advance(250ms);
    answer("GET " + agentPath(), 200, R"({"state":"failed","reason_code":"web_timeout"})");
    EXPECT_TRUE(coordinator->isIdle());
    loop.advance(400ms);
    EXPECT_EQ(panelText(), "Web search took too long. Please try again.");
}

}  // namespace
}  // namespace murmo::testing
