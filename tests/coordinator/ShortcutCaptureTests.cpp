// Rebinding a shortcut from the engine's settings page, in virtual time.

#include "DictationOperationFixture.h"
#include "coordinator/ShortcutCaptureEvent.h"

namespace murmo::testing {
namespace {

constexpr std::string_view kCaptureID = "6f1c2a4e-8b3d-4c5e-9f70-1a2b3c4d5e6f";

JSONValue::Object eventData(std::string_view json) { return *JSONValue::decodeObject(json); }

TEST(ShortcutCaptureEventTest, TheEventsShortcutIsReadByTheEventRules) {
    const struct {
        const char* data;
        std::optional<ShortcutSpecPayload> expected;
    } rows[] = {
        {R"({"shortcut":{"kind":"fn","modifiers":[],"display":"Fn/Globe"}})",
         ShortcutSpecPayload("fn", std::nullopt, {}, "Fn/Globe")},
        {R"({"shortcut":{"kind":"chord","key_code":49,"modifiers":["control"],"display":"Ctrl-Space"}})",
         ShortcutSpecPayload("chord", 49, {"control"}, "Ctrl-Space")},
        {R"({"shortcut":{"kind":"chord","key_code":49.5,"modifiers":[],"display":"x"}})",
         ShortcutSpecPayload("chord", std::nullopt, {}, "x")},
        {R"({"shortcut":{"kind":"chord","key_code":256,"modifiers":[],"display":"x"}})",
         ShortcutSpecPayload("chord", std::nullopt, {}, "x")},
        {R"({"shortcut":{"kind":"chord","key_code":"49","modifiers":[],"display":"x"}})",
         ShortcutSpecPayload("chord", std::nullopt, {}, "x")},
        {R"({"shortcut":{"kind":"chord","key_code":-1,"modifiers":[],"display":"x"}})",
         ShortcutSpecPayload("chord", std::nullopt, {}, "x")},
        {R"({"shortcut":{"kind":"chord","modifiers":["control",7],"display":"x"}})", std::nullopt},
        {R"({"shortcut":{"kind":"chord","modifiers":"control","display":"x"}})", std::nullopt},
        {R"({"shortcut":{"kind":7,"modifiers":[],"display":"x"}})", std::nullopt},
        {R"({"shortcut":{"kind":"fn","modifiers":[]}})", std::nullopt},
        {R"({"shortcut":"fn"})", std::nullopt},
        {R"({})", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.data);
        EXPECT_EQ(shortcutFromEvent(eventData(row.data)), row.expected);
    }
}

class ShortcutCaptureTest : public DictationOperationTest {
protected:
    void captureEvent(std::string_view type, const std::string& data) {
        deliverEvent(R"({"protocol_version":1,"sequence":)" + std::to_string(++sequence) + R"(,"type":")" +
                     std::string(type) + R"(","qos":"reliable","data":)" + data + "}");
    }
    void requestCapture(std::string_view id = kCaptureID, std::string_view purpose = "dictation") {
        captureEvent("shortcut.capture_requested",
                     R"({"capture_id":")" + std::string(id) + R"(","purpose":")" + std::string(purpose) + R"("})");
    }
    std::string capturePath(std::string_view action, std::string_view id = kCaptureID) const {
        return "POST /api/v1/shortcut-captures/" + std::string(id) + "/" + std::string(action);
    }
    std::string cancelReason(std::string_view id = kCaptureID) const {
        for (const auto& request : world.transport->requests()) {
            if (request.method + " " + request.url.target() == capturePath("cancel", id)) {
                auto body = json::parse(request.body.value_or("{}")).value_or(json::Json::object());
                return body.value("reason", "<none>");
            }
        }
        return "<not sent>";
    }
    // Control-Space typed while the capture monitor listens.
    void typeChord() {
        world.desktop.keyTap().send(SimKeyTap::flagsChanged(59, key_event_flags::control));
        world.desktop.keyTap().send(SimKeyTap::keyDown(49, key_event_flags::control));
        loop.runUntilIdle();
    }
    std::size_t liveTaps() { return world.desktop.keyTap().liveTapCount(); }

    static constexpr std::string_view kChordReply =
        R"({"native_shortcut":{"kind":"chord","key_code":49,"modifiers":["control"],"display":"Ctrl-Space"}})";
};

TEST_F(ShortcutCaptureTest, ATypedChordIsSavedAndPutInForceByTheReload) {
    requestCapture();
    EXPECT_EQ(hudKind(), HUDMode::Kind::shortcut);
    typeChord();
    ASSERT_TRUE(isPending(capturePath("complete")));
    const auto body = json::parse(world.transport->requests().back().body.value_or("")).value_or(json::Json());
    EXPECT_EQ(body["shortcut"].value("kind", ""), "chord");
    EXPECT_EQ(body["shortcut"].value("key_code", 0), 49);
    answer(capturePath("complete"), 200);
    answerAll("POST /api/v1/audio/route", 200, "{}");
    answer("GET /api/settings", 200, std::string(kChordReply));
    EXPECT_EQ(coordinator->activeShortcut(), ShortcutChoice::chord(49, ShortcutModifiers::control));
    loop.advance(400ms);
    EXPECT_NE(hudKind(), HUDMode::Kind::shortcut);

    // The 20 s time-out of the finished capture does nothing.
    loop.advance(21s);
    EXPECT_EQ(cancelReason(), "<not sent>");
}

TEST_F(ShortcutCaptureTest, RequestsThatCannotBeTakenAreIgnoredOrRefused) {
    requestCapture("not-a-uuid");
    EXPECT_EQ(liveTaps(), 1u) << "a malformed id is ignored";
    EXPECT_EQ(cancelReason("not-a-uuid"), "<not sent>");

    press();
    acceptStart();
    requestCapture();
    EXPECT_EQ(cancelReason(), "busy") << "not during a dictation";
    release();
    acknowledgeAudioEnd();
    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","reason_code":"no_speech"})");

    const auto other = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
    requestCapture(other);
    const auto requestsBefore = world.transport->requests().size();
    requestCapture(other);
    EXPECT_EQ(world.transport->requests().size(), requestsBefore) << "a repeated request changes nothing";
}

TEST_F(ShortcutCaptureTest, TheCaptureEndsAfterTwentySecondsWithTheRouterBack) {
    requestCapture();
    loop.advance(19'999ms);
    EXPECT_EQ(cancelReason(), "<not sent>");
    loop.advance(1ms);
    EXPECT_EQ(cancelReason(), "timeout");
    press();
    EXPECT_EQ(count("POST /api/v1/dictations"), 1u) << "the router listens again";
}

TEST_F(ShortcutCaptureTest, ARefusedSaveTellsTheEngineAndTheUser) {
    requestCapture();
    typeChord();
    answer(capturePath("complete"), 500);
    EXPECT_EQ(cancelReason(), "native_error");
    EXPECT_EQ(errorCues(), 1u);
    loop.advance(400ms);
    EXPECT_EQ(hudKind(), HUDMode::Kind::error);
    EXPECT_EQ(coordinator->activeShortcut(), ShortcutChoice::function());
}

TEST_F(ShortcutCaptureTest, AMonitorThatCannotListenAsksForPermission) {
    world.desktop.keyTap().setCreationFails(true);
    requestCapture();
    EXPECT_EQ(cancelReason(), "permission_required");
    EXPECT_EQ(errorCues(), 1u);
}

TEST_F(ShortcutCaptureTest, ACompletionWithoutAnIdDuringADictationWaitsForItsEnd) {
    press();
    acceptStart();
    speak();
    const auto routers = world.routersMade;
    captureEvent("shortcut.capture_completed",
                 R"({"shortcut":{"kind":"chord","key_code":49,"modifiers":["control"],"display":"Ctrl-Space"}})");
    EXPECT_EQ(world.routersMade, routers) << "the router is not swapped under the held key";
    EXPECT_EQ(hudKind(), HUDMode::Kind::listening);

    release();
    acknowledgeAudioEnd();
    ASSERT_TRUE(isPending(release_())) << "the release still ends the dictation";
    answer(release_(), 200, R"({"operation_id":")" + operationID() + R"(","reason_code":"no_speech"})");
    EXPECT_EQ(coordinator->activeShortcut(), ShortcutChoice::chord(49, ShortcutModifiers::control));
}

TEST_F(ShortcutCaptureTest, AnAgentCaptureKeepsTheDictationShortcut) {
    requestCapture(kCaptureID, "agent");
    typeChord();
    // The engine's completion event names no purpose; the capture's own
    // purpose decides.
    captureEvent("shortcut.capture_completed",
                 R"({"capture_id":")" + std::string(kCaptureID) +
                     R"(","shortcut":{"kind":"chord","key_code":49,"modifiers":["control"],"display":"Ctrl-Space"}})");
    EXPECT_EQ(coordinator->activeShortcut(), ShortcutChoice::function());
}

}  // namespace
}  // namespace murmo::testing
