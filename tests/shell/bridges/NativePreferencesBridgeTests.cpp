#include "shell/bridges/NativePreferencesBridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimDesktop.h"
#include "support/AnsweringBridgePage.h"

namespace murmo {
namespace {

using Bridge = NativePreferencesBridge;
using testing::frameAt;
const std::string kRejected(Bridge::kRejectedText);
const std::string kUnavailable(Bridge::kUnavailableText);

const WebFrameInfo kEngineFrame = frameAt("http://127.0.0.1:8765/settings");

class NativePreferencesBridgeTest : public ::testing::Test, protected testing::AnsweringBridgePage<Bridge> {
protected:
    NativePreferencesBridgeTest() : AnsweringBridgePage(kEngineFrame) {}

    SimDesktop desktop{loop};
    SequentialIdGenerator ids;
    std::shared_ptr<NativePreferencesController> controller =
        NativePreferencesController::create({.loop = loop,
                                             .defaults = desktop.defaults(),
                                             .chrome = desktop.chrome(),
                                             .loginItem = desktop.loginItem(),
                                             .ids = ids,
                                             .preferredLanguages = [] { return std::vector<std::string>{"en-US"}; }});
    std::shared_ptr<Bridge> bridge = Bridge::create(loop, *URL::parse("http://127.0.0.1:8765"), controller);

    void SetUp() override {
        ASSERT_TRUE(view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
    }

    json::Json currentPayload() const { return controller->snapshot().bridgePayload(); }
};

TEST_F(NativePreferencesBridgeTest, RefusedMessagesChangeNothingAndAreRejectedOnce) {
    const struct {
        const char* why;
        std::optional<std::string_view> body;
        WebFrameInfo frame = kEngineFrame;
    } rows[] = {
        {"subframe", R"({"action":"set","key":"show_app_in_dock","value":true})",
         frameAt("http://127.0.0.1:8765/", false)},
        {"another origin", R"({"action":"set","key":"show_app_in_dock","value":true})",
         frameAt("http://127.0.0.1:8766/")},
        {"not loopback", R"({"action":"get_snapshot"})", frameAt("http://example.org:8765/")},
        {"no body", std::nullopt},
        {"array", R"(["get_snapshot"])"},
        {"text", R"("get_snapshot")"},
        {"unknown action", R"({"action":"reset"})"},
        {"action in capitals", R"({"action":"GET_SNAPSHOT"})"},
        {"surplus key", R"({"action":"get_snapshot","key":"ui_language"})"},
        {"surplus null key", R"({"action":"open_login_items_settings","value":null})"},
        {"missing value", R"({"action":"set","key":"show_app_in_dock"})"},
        {"null value", R"({"action":"set","key":"show_app_in_dock","value":null})"},
        {"one for true", R"({"action":"set","key":"show_app_in_dock","value":1})"},
        {"text for a flag", R"({"action":"set","key":"big_mode_enabled","value":"true"})"},
        {"flag for a text", R"({"action":"set","key":"appearance_preference","value":true})"},
        {"unknown key", R"({"action":"set","key":"dock","value":true})"},
        {"language without region", R"({"action":"set","key":"ui_language","value":"pt"})"},
        {"language padded", R"({"action":"set","key":"ui_language","value":"de "})"},
        {"language with NUL", R"({"action":"set","key":"ui_language","value":"de\u0000"})"},
        {"appearance in capitals", R"({"action":"set","key":"appearance_preference","value":"Dark"})"},
        {"surplus key on set", R"({"action":"set","key":"big_mode_enabled","value":true,"extra":1})"},
    };
    const auto before = currentPayload();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        expectError(post(row.body, row.frame), kRejected);
    }
    EXPECT_EQ(currentPayload(), before);
    EXPECT_TRUE(desktop.defaults().changes().empty());
    EXPECT_EQ(std::ranges::find(desktop.loginItem().calls(), SimLoginItem::Call::openSettings),
              desktop.loginItem().calls().end());
}

TEST_F(NativePreferencesBridgeTest, AMessageUnderAnotherNameIsRejected) {
    struct RecordingSink final : ScriptMessageReply::Sink {
        std::vector<std::string> answers;
        void returnValue(std::string jsonText) override { answers.push_back("value " + jsonText); }
        void returnError(std::string message) override { answers.push_back("error " + message); }
        void droppedUnanswered() override { answers.push_back("dropped"); }
    };
    auto sink = std::make_shared<RecordingSink>();
    const ScriptMessage message{.handlerName = "murmoNativePreferencesX",
                                .frame = kEngineFrame,
                                .body = json::Json{{"action", "set"}, {"key", "big_mode_enabled"}, {"value", true}}};
    bridge->handle(message, ScriptMessageReply(sink));
    loop.runUntilIdle();
    EXPECT_EQ(sink->answers, std::vector<std::string>{"error " + kRejected});
    EXPECT_FALSE(controller->snapshot().bigModeEnabled);
}

TEST_F(NativePreferencesBridgeTest, AcceptedChangesAnswerTheSnapshotAfterThem) {
    const struct {
        const char* body;
        const char* member;
        json::Json expected;
    } rows[] = {
        {R"({"action":"set","key":"ui_language","value":"pt-BR"})", "ui_language_preference", "pt-BR"},
        {R"({"action":"set","key":"ui_language","value":"zh-Hans"})", "resolved_ui_language", "zh-Hans"},
        {R"({"action":"set","key":"appearance_preference","value":"black"})", "appearance",
         json::Json{{"preference", "black"}, {"resolved", "black"}, {"color_scheme", "dark"}}},
        {R"({"action":"set","key":"show_flow_bar_always","value":true})", "show_flow_bar_always", true},
        {R"({"action":"set","key":"show_app_in_dock","value":true})", "show_app_in_dock", true},
        {R"({"action":"set","key":"feedback_sounds_enabled","value":false})", "feedback_sounds_enabled", false},
        {R"({"action":"set","key":"big_mode_enabled","value":true})", "big_mode_enabled", true},
        {R"({"action":"set","key":"launch_at_login","value":true})", "launch_at_login",
         json::Json{{"value", true}, {"status", "enabled"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body);
        const auto revisionBefore = controller->snapshot().revision;
        const auto payload = payloadOf(post(row.body));
        EXPECT_EQ(payload, currentPayload()) << "the snapshot read after the change";
        EXPECT_EQ(payload[row.member], row.expected);
        EXPECT_GT(payload["revision"].get<std::int64_t>(), revisionBefore);
    }
}

TEST_F(NativePreferencesBridgeTest, ReadingAndOpeningLoginItemsAnswerTheCurrentSnapshotOnALaterTurn) {
    const auto index = send(R"({"action":"get_snapshot"})");
    EXPECT_EQ(replyTo(index).answers, 0) << "the action runs on the loop, not in the callback";
    loop.runUntilIdle();
    EXPECT_EQ(payloadOf(replyTo(index)), currentPayload());

    // Registered outside the application meanwhile; settings that do not
    // open still answer, with the refreshed state.
    desktop.loginItem().setOpensSettings(false);
    desktop.loginItem().setStatus(login_item_status::enabled);
    const auto payload = payloadOf(post(R"({"action":"open_login_items_settings"})"));
    EXPECT_EQ(payload["launch_at_login"], (json::Json{{"value", true}, {"status", "enabled"}}));
    EXPECT_EQ(payload, currentPayload());
    EXPECT_NE(std::ranges::find(desktop.loginItem().calls(), SimLoginItem::Call::openSettings),
              desktop.loginItem().calls().end());
}

TEST_F(NativePreferencesBridgeTest, AFailedChangeAnswersTheCatalogTextInTheInterfaceLanguage) {
    ASSERT_TRUE(payloadOf(post(R"({"action":"set","key":"ui_language","value":"tr"})")).is_object());
    desktop.loginItem().setEligible(false);
    const auto before = currentPayload();

    const auto& reply = post(R"({"action":"set","key":"launch_at_login","value":true})");
    EXPECT_EQ(reply.answers, 1);
    EXPECT_FALSE(reply.valueJSON);
    const auto turkish =
        NativePreferencesError::launchAtLoginUnavailable().localizedDescription(NativeAppLanguage::turkish);
    EXPECT_EQ(reply.errorMessage, turkish);
    EXPECT_NE(turkish, NativePreferencesError::launchAtLoginUnavailable().errorDescription());
    EXPECT_NE(reply.errorMessage, kRejected);
    EXPECT_EQ(currentPayload(), before);
}

TEST_F(NativePreferencesBridgeTest, ABridgeGoneBeforeItsActionAnswersUnavailable) {
    const auto pending = send(R"({"action":"set","key":"big_mode_enabled","value":true})");
    bridge.reset();
    loop.runUntilIdle();
    const auto& reply = replyTo(pending);
    EXPECT_EQ(reply.answers, 1);
    EXPECT_EQ(reply.errorMessage, kUnavailable);
    EXPECT_FALSE(controller->snapshot().bigModeEnabled) << "nothing changed";

    const auto& late = post(R"({"action":"get_snapshot"})");
    EXPECT_EQ(late.answers, 1);
    EXPECT_EQ(late.errorMessage, kUnavailable) << "the registered handler outlives the bridge";
}

}  // namespace
}  // namespace murmo
