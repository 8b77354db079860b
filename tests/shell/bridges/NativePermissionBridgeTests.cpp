#include "shell/bridges/NativePermissionBridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimDesktop.h"
#include "support/AnsweringBridgePage.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Bridge = NativePermissionBridge;
using Mic = MicrophoneAuthorizationStatus;
using testing::frameAt;
const std::string kRejected(Bridge::kRejectedText);
const std::string kUnavailable(Bridge::kUnavailableText);
constexpr std::string_view kPrivacy = "x-apple.systempreferences:com.apple.preference.security";

const WebFrameInfo kEngineFrame = frameAt("http://localhost:8765/");

class NativePermissionBridgeTest : public ::testing::Test, protected testing::AnsweringBridgePage<Bridge> {
protected:
    NativePermissionBridgeTest() : AnsweringBridgePage(kEngineFrame) {}

    SimDesktop desktop{loop};
    DesktopPorts ports = desktop.ports();
    std::shared_ptr<PermissionCenter> center = PermissionCenter::create({.loop = loop,
                                                                         .microphone = *ports.microphonePermission,
                                                                         .accessibility = ports.accessibility,
                                                                         .keyTap = *ports.keyTap,
                                                                         .eventPoster = ports.eventPoster,
                                                                         .workspace = ports.workspace});
    std::shared_ptr<Bridge> bridge = Bridge::create(loop, *URL::parse("http://localhost:8765"), center);
    int changes = 0;

    void SetUp() override {
        ASSERT_TRUE(view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
        bridge->onPermissionsChanged = [this] { ++changes; };
    }

    json::Json currentPayload() const { return center->snapshot().bridgePayload(); }
    const std::vector<std::string>& opened() { return desktop.model().workspace.openRequests; }
};

TEST_F(NativePermissionBridgeTest, RefusedMessagesPromptForNothingAndAreRejectedOnce) {
    desktop.microphonePermission().setStatus(Mic::notDetermined);
    desktop.model().accessibilityTrusted = false;
    const struct {
        const char* why;
        std::optional<std::string_view> body;
        WebFrameInfo frame = kEngineFrame;
    } rows[] = {
        {"subframe", R"({"action":"request","permission":"microphone"})", frameAt("http://localhost:8765/", false)},
        {"another origin", R"({"action":"request","permission":"microphone"})", frameAt("http://127.0.0.1:8765/")},
        {"another port", R"({"action":"open_settings","permission":"accessibility"})",
         frameAt("http://localhost:8766/")},
        {"no body", std::nullopt},
        {"not an object", R"(["status"])"},
        {"unknown action", R"({"action":"grant","permission":"microphone"})"},
        {"surplus key on status", R"({"action":"status","permission":"microphone"})"},
        {"null surplus key", R"({"action":"status","permission":null})"},
        {"missing permission", R"({"action":"request"})"},
        {"null permission", R"({"action":"request","permission":null})"},
        {"permission not a string", R"({"action":"open_settings","permission":1})"},
        {"unknown permission", R"({"action":"request","permission":"camera"})"},
        {"permission in capitals", R"({"action":"request","permission":"Microphone"})"},
        {"event posting is not requestable", R"({"action":"request","permission":"event_posting"})"},
        {"surplus key on request", R"({"action":"request","permission":"accessibility","force":true})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        expectError(post(row.body, row.frame), kRejected);
    }
    loop.advance(1s);
    EXPECT_EQ(desktop.microphonePermission().requestCount(), 0);
    EXPECT_EQ(desktop.model().accessibilityPrompts, 0);
    EXPECT_TRUE(opened().empty());
    EXPECT_EQ(changes, 0);
}

TEST_F(NativePermissionBridgeTest, StatusAnswersTheCurrentSnapshotAndChangesNothing) {
    desktop.microphonePermission().setStatus(Mic::denied);
    desktop.keyTap().setListenEventAccess(true);
    const auto index = send(R"({"action":"status"})");
    EXPECT_EQ(replyTo(index).answers, 0) << "the action runs on the loop, not in the callback";
    loop.runUntilIdle();
    EXPECT_EQ(payloadOf(replyTo(index)), currentPayload());
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(opened().empty());
}

TEST_F(NativePermissionBridgeTest, OpenSettingsAnswersWhetherThePaneOpenedBesideTheSnapshot) {
    const struct {
        const char* permission;
        bool opens;
    } rows[] = {{"microphone", true}, {"accessibility", true}, {"input_monitoring", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.permission);
        changes = 0;
        desktop.model().workspace.unopenable.clear();
        if (!row.opens)
            desktop.model().workspace.unopenable = {std::string(kPrivacy) + "?Privacy_ListenEvent",
                                                    std::string(kPrivacy)};
        auto payload =
            payloadOf(post(R"({"action":"open_settings","permission":")" + std::string(row.permission) + "\"}"));
        EXPECT_EQ(payload["settings_opened"], row.opens);
        EXPECT_EQ(changes, 1) << "told even when the pane stayed shut";
        payload.erase("settings_opened");
        EXPECT_EQ(payload, currentPayload());
    }
}

TEST_F(NativePermissionBridgeTest, ARequestAnswersOnlyOnceTheCentreHasFinishedIt) {
    desktop.model().accessibilityTrusted = desktop.model().trustsOnPrompt = false;
    desktop.keyTap().setListenEventAccess(false);
    desktop.keyTap().setGrantsListenAccessOnRequest(true);
    std::vector<std::string> order;
    bridge->onPermissionsChanged = [&] { order.push_back("changed"); };

    const auto accessibility = send(R"({"action":"request","permission":"accessibility"})");
    const auto inputMonitoring = send(R"({"action":"request","permission":"input_monitoring"})");
    loop.runUntilIdle();
    EXPECT_EQ(replyTo(accessibility).answers, 0);
    EXPECT_EQ(payloadOf(post(R"({"action":"status"})")), currentPayload()) << "other messages go on meanwhile";

    loop.advance(PermissionCenter::kRefreshAfterPrompt);
    const auto denied = payloadOf(replyTo(accessibility));
    EXPECT_EQ(denied, currentPayload()) << "a denial is no error";
    EXPECT_EQ(denied["permissions"]["accessibility"]["granted"], false);
    EXPECT_EQ(payloadOf(replyTo(inputMonitoring))["permissions"]["input_monitoring"]["granted"], true);
    EXPECT_EQ(order, (std::vector<std::string>{"changed", "changed"}));
}

TEST_F(NativePermissionBridgeTest, ARequestOutlivingItsBridgeIsStillAnswered) {
    desktop.microphonePermission().setStatus(Mic::notDetermined);
    desktop.microphonePermission().setRequestAnswer(SimMicrophonePermission::RequestAnswer::held, true);
    const auto index = send(R"({"action":"request","permission":"microphone"})");
    loop.runUntilIdle();
    bridge.reset();
    ASSERT_TRUE(desktop.microphonePermission().answerHeldRequest());
    loop.runUntilIdle();
    const auto payload = payloadOf(replyTo(index));
    EXPECT_EQ(payload["permissions"]["microphone"]["granted"], true);
    EXPECT_EQ(changes, 0) << "only the gone bridge's callback is skipped";
}

TEST_F(NativePermissionBridgeTest, ARequestWhoseCentreGoesAwayIsAnsweredUnavailableNotEmpty) {
    const auto index = send(R"({"action":"request","permission":"input_monitoring"})");
    loop.runUntilIdle();
    bridge.reset();
    center.reset();
    loop.advance(1s);
    const auto& reply = replyTo(index);
    EXPECT_EQ(reply.answers, 1);
    EXPECT_FALSE(reply.droppedUnanswered);
    EXPECT_EQ(reply.errorMessage, kUnavailable);
}

TEST_F(NativePermissionBridgeTest, ABridgeGoneBeforeItsActionAnswersUnavailable) {
    const auto pending = send(R"({"action":"open_settings","permission":"microphone"})");
    bridge.reset();
    loop.runUntilIdle();
    EXPECT_EQ(replyTo(pending).answers, 1);
    EXPECT_EQ(replyTo(pending).errorMessage, kUnavailable);
    EXPECT_TRUE(opened().empty());
    EXPECT_EQ(post(R"({"action":"status"})").errorMessage, kUnavailable);
}

}  // namespace
}  // namespace murmo
