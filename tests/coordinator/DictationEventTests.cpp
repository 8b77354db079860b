// The engine's events for the current dictation, and the audio transport
// failing under it.

#include "DictationOperationFixture.h"

namespace murmo::testing {
namespace {

TEST_F(DictationOperationTest, EventsEndTheOperationAsTheEngineSays) {
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> events;
        bool idle;
        std::size_t errorCues;
        std::optional<HUDMode::Kind> hud;
    } rows[] = {
        {"a warning of another kind does nothing", {{"warning", R"({"message_key":"backend.slow"})"}}, false, 0, {}},
        {"an error fails the dictation", {{"error", R"({"reason_code":"timeout"})"}}, true, 1, HUDMode::Kind::error},
        {"no speech ends it quietly", {{"state", R"({"phase":"idle","reason_code":"no_speech"})"}}, true, 0, {}},
        {"an idle state with an engine error fails it",
         {{"dictation.state_changed", R"({"phase":"idle","error":"model crashed"})"}},
         true,
         1,
         HUDMode::Kind::error},
        {"a blank final is not delivered, and its idle state has no transcript",
         {{"final", R"({"text":"  \n "})"}, {"state", R"({"phase":"idle","final_text":" "})"}},
         true,
         1,
         HUDMode::Kind::error},
        {"a field of the wrong kind counts as absent",
         {{"warning", R"({"message_key":["backend.recording_limit_reached"]})"}, {"state", R"({"phase":7})"}},
         false,
         0,
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto errors = errorCues();
        press();
        acceptStart();
        speak();
        for (const auto& [type, data] : row.events) pushEvent(type, data);
        EXPECT_EQ(coordinator->isIdle(), row.idle);
        EXPECT_EQ(errorCues() - errors, row.errorCues);
        if (row.hud) {
            loop.advance(400ms);
            EXPECT_EQ(hudKind(), row.hud);
        }
        EXPECT_EQ(count(cancel_()), 0u) << "the engine ended it; nothing to cancel";
        release();
        if (!row.idle) {
            acknowledgeAudioEnd();
            answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","reason_code":"no_speech"})");
        }
        EXPECT_TRUE(coordinator->isIdle());
        answerBackground();
    }
}

TEST_F(DictationOperationTest, EventsOfOtherOperationsAndAfterACancelAreIgnored) {
    press();
    acceptStart();
    speak();
    pushEvent("error", "{}", "another-operation");
    pushEvent("final", R"({"text":"not mine"})", "another-operation");
    EXPECT_FALSE(coordinator->isIdle());

    coordinator->pause();
    pushEvent("error", R"({"reason_code":"timeout"})");
    pushEvent("final", R"({"text":"too late"})");
    EXPECT_FALSE(coordinator->isIdle()) << "the cancellation completes on its own";
    EXPECT_EQ(errorCues(), 0u);
    pushEvent("state", R"({"phase":"idle"})");
    EXPECT_TRUE(coordinator->isIdle()) << "the engine's idle state confirms the cancel";
    loop.advance(2s);
    EXPECT_EQ(fieldText(), "");
    EXPECT_EQ(errorCues(), 0u);
    EXPECT_TRUE(isPending("POST /api/v1/runtime/pause"));
}

TEST_F(DictationOperationTest, ALostAudioConnectionCancelsWithTheErrorCueAndNoRelease) {
    press();
    acceptStart();
    speak();
    world.transport->lastSocket()->failReceive(coreTransportError(CoreTransportErrorCode::networkConnectionLost));
    loop.runUntilIdle();
    EXPECT_EQ(errorCues(), 1u);
    EXPECT_TRUE(isPending(cancel_()));
    release();
    answer(cancel_(), 200);
    EXPECT_TRUE(coordinator->isIdle());
    EXPECT_EQ(count(release_()), 0u);
    EXPECT_EQ(errorCues(), 1u);
}

}  // namespace
}  // namespace murmo::testing
