#include "shell/bridges/NativeSettingsBridge.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/UnansweredBridgePage.h"

namespace murmo {
namespace {

using Action = NativeSettingsCommand::Action;
using Section = NativeSettingsSection;

using testing::engineMainFrame;
using testing::framesNotHeard;

struct SettingsPage : testing::UnansweredBridgePage<NativeSettingsBridge, NativeSettingsCommand> {
    explicit SettingsPage(std::set<Action> allowedActions = {Action::open})
        : UnansweredBridgePage(std::move(allowedActions)) {
        bridge->onCommand = [this](const NativeSettingsCommand& command) { received.push_back(command); };
    }
};

TEST(NativeSettingsBridgeTest, BodyTable) {
    struct Case {
        const char* body;
        std::optional<NativeSettingsCommand> command;
    };
    const Case cases[] = {
        {R"({"action":"open"})", NativeSettingsCommand{Action::open, std::nullopt}},
        {R"({"action":"open","section":"privacy"})", NativeSettingsCommand{Action::open, Section::privacy}},
        {R"({"section":"advanced","action":"open"})", NativeSettingsCommand{Action::open, Section::advanced}},
        // Closing is a command, but the window allows opening alone.
        {R"({"action":"close"})", std::nullopt},
        {R"({"action":"close","section":"general"})", std::nullopt},
        {R"({"section":"general"})", std::nullopt},
        {R"({"action":"open","section":"Privacy"})", std::nullopt},
        {R"({"action":"Open"})", std::nullopt},
        {R"({"action":" open"})", std::nullopt},
        {R"({"action":"open","section":"privacy","extra":1})", std::nullopt},
        {R"({"action":"open","extra":true})", std::nullopt},
        {R"({"action":"open","section":null})", std::nullopt},
        {R"({"action":null})", std::nullopt},
        {R"({"action":1})", std::nullopt},
        {R"({"action":"open","section":3})", std::nullopt},
        {R"({})", std::nullopt},
        {R"(["open"])", std::nullopt},
        {R"("open")", std::nullopt},
        {"null", std::nullopt},
    };
    for (const auto& c : cases) SettingsPage().expectReceives(c.body, c.command);
}

TEST(NativeSettingsBridgeTest, EveryRawSectionReachesTheOwner) {
    const char* raw[] = {"general",      "appearance",  "agent",   "system",  "speech",
                         "intelligence", "personalize", "privacy", "advanced"};
    ASSERT_EQ(std::size(raw), kAllNativeSettingsSections.size());
    SettingsPage page;
    for (std::size_t i = 0; i < std::size(raw); ++i) {
        EXPECT_EQ(rawValue(kAllNativeSettingsSections[i]), raw[i]);
        page.post(R"({"action":"open","section":")" + std::string(raw[i]) + R"("})");
    }
    ASSERT_EQ(page.received.size(), std::size(raw));
    for (std::size_t i = 0; i < std::size(raw); ++i) EXPECT_EQ(page.received[i].section, kAllNativeSettingsSections[i]);
}

TEST(NativeSettingsBridgeTest, TheAllowListDecidesWhichActionsReachTheOwner) {
    SettingsPage page({Action::open, Action::close});
    page.post(R"({"action":"close"})");
    // A section still belongs to opening only.
    page.post(R"({"action":"close","section":"general"})");
    ASSERT_EQ(page.received.size(), 1u);
    EXPECT_EQ(page.received.front(), (NativeSettingsCommand{Action::close, std::nullopt}));

    SettingsPage closedOnly({Action::close});
    closedOnly.post(R"({"action":"open"})");
    EXPECT_TRUE(closedOnly.received.empty());
}

TEST(NativeSettingsBridgeTest, OnlyTheEnginesMainFrameIsHeard) {
    for (const auto& frame : framesNotHeard()) {
        SettingsPage page;
        page.post(R"({"action":"open"})", frame);
        EXPECT_TRUE(page.received.empty());
    }
}

TEST(NativeSettingsBridgeTest, ThePageIsNeverAnsweredAndTheOwnerIsCalledLater) {
    SettingsPage page;
    const auto index =
        page.view.postMessage(NativeSettingsBridge::kHandlerName, engineMainFrame(), R"({"action":"open"})");
    EXPECT_TRUE(page.received.empty());
    page.loop.runUntilIdle();
    EXPECT_EQ(page.received.size(), 1u);
    EXPECT_TRUE(page.view.messages()[index].delivered);
    EXPECT_EQ(page.view.messages()[index].reply, nullptr);
}

TEST(NativeSettingsBridgeTest, AGoneBridgeOrAnUnsetCallbackDoesNothing) {
    SettingsPage unset;
    unset.bridge->onCommand = nullptr;
    unset.post(R"({"action":"open"})");
    EXPECT_TRUE(unset.received.empty());

    SettingsPage gone;
    gone.view.postMessage(NativeSettingsBridge::kHandlerName, engineMainFrame(), R"({"action":"open"})");
    gone.bridge.reset();
    gone.loop.runUntilIdle();
    EXPECT_TRUE(gone.received.empty());
    // The handler the view still holds does not keep the bridge alive.
    gone.post(R"({"action":"open"})");
    EXPECT_TRUE(gone.received.empty());
}

}  // namespace
}  // namespace murmo
