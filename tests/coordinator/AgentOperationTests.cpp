// Assistant operations on the dictation road: where they start, how an
// undecided one is resolved, and how they are released and cancelled.

#include "DictationOperationFixture.h"

namespace murmo::testing {
namespace {

class AgentOperationTest : public DictationOperationTest {
protected:
    void SetUp() override {
        DictationOperationTest::SetUp();
        loop.advance(2s);
        answerAll("GET /api/settings", 200,
                  settingsBody(R"("agent_mode_enabled":true,"agent_activation_policy":"no_editable")"));
        answerBackground();
        ASSERT_TRUE(coordinator->agentModeEnabled());
    }

    std::string agentPath(std::string_view action = {}) const {
        auto path = "/api/v1/agent/operations/" + operationID();
        if (!action.empty()) path += "/" + std::string(action);
        return path;
    }
    void focusButton() {
        world.desktop.setFocusedElement(kEditorPID,
                                        world.desktop.addElement(editor.window, SimElementSetup{.role = "AXButton"}));
    }
};

TEST_F(AgentOperationTest, ADictationPressOnAFieldThatTakesNoTextAsksTheAssistant) {
    focusButton();
    press();
    ASSERT_TRUE(isPending("POST /api/v1/agent/operations"));
    const auto start = json::parse(world.transport->lastRequest().body.value_or("")).value_or(json::Json());
    EXPECT_FALSE(start.contains("target_app_id")) << "the assistant is told no target application";
    answer("POST /api/v1/agent/operations", 200, R"({"phase":"recording","operation_id":")" + operationID() + R"("})");
    speak();
    release();
    acknowledgeAudioEnd();
    ASSERT_TRUE(isPending("POST " + agentPath("release")));
    EXPECT_EQ(count(dictationPath("release")), 0u);

    // A release reply with an error fails the assistant's operation itself.
    answer("POST " + agentPath("release"), 200,
           R"({"operation_id":")" + operationID() + R"(","error":"no audio","reason_code":"agent_audio_unclear"})");
    EXPECT_TRUE(coordinator->isIdle());
    EXPECT_EQ(errorCues(), 1u);
    EXPECT_EQ(count("DELETE " + agentPath()), 0u) << "the engine ended it; nothing to cancel";
    loop.advance(400ms);
    EXPECT_EQ(hudKind(), HUDMode::Kind::agentAnswer) << "the failure shows in the assistant's panel";
}

TEST_F(AgentOperationTest, AnAssistantOperationIsCancelledByDeletingIt) {
    focusButton();
    press();
    answer("POST /api/v1/agent/operations", 500, "{}");
    EXPECT_TRUE(isPending("DELETE " + agentPath()));
    answer("DELETE " + agentPath(), 404);
    EXPECT_TRUE(coordinator->isIdle()) << "gone already counts as cancelled";
}

TEST_F(AgentOperationTest, AnUndecidedOperationIsResolvedOnceTheFocusIsKnownAndItsReleaseWaitsForThat) {
    // No focused element yet: the press cannot tell a field from none.
    world.desktop.setFocusedElement(kEditorPID, std::nullopt);
    press();
    ASSERT_TRUE(isPending("POST /api/v1/agent/pending-operations"));
    answer("POST /api/v1/agent/pending-operations", 200,
           R"({"phase":"recording","operation_id":")" + operationID() + R"("})");
    speak();

    focusButton();
    loop.advance(100ms);
    ASSERT_TRUE(isPending("POST " + agentPath("resolve-mode")));
    EXPECT_EQ(json::parse(world.transport->lastRequest().body.value_or("")).value_or(json::Json()).value("mode", ""),
              "agent");

    release();
    acknowledgeAudioEnd();
    EXPECT_FALSE(isPending("POST " + agentPath("release"))) << "the release waits for the resolution";
    answer("POST " + agentPath("resolve-mode"), 200, R"({"operation_id":")" + operationID() + R"("})");
    EXPECT_TRUE(isPending("POST " + agentPath("release")));
}

TEST_F(AgentOperationTest, AnUndecidedOperationOnAFieldBecomesADictation) {
    world.desktop.setFocusedElement(kEditorPID, std::nullopt);
    press();
    answer("POST /api/v1/agent/pending-operations", 200,
           R"({"phase":"recording","operation_id":")" + operationID() + R"("})");
    speak();
    world.desktop.setFocusedElement(kEditorPID, editor.field);
    loop.advance(100ms);
    ASSERT_TRUE(isPending("POST " + agentPath("resolve-mode")));
    answer("POST " + agentPath("resolve-mode"), 200, R"({"operation_id":")" + operationID() + R"("})");
    release();
    acknowledgeAudioEnd();
    ASSERT_TRUE(isPending(release_()));
    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","final_text":"a dictation after all"})");
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "a dictation after all");
    EXPECT_TRUE(coordinator->isIdle());
}

}  // namespace
}  // namespace murmo::testing
