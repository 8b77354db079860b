#include "shell/bridges/NativeUIStateBridge.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimDefaultsStore.h"
#include "shell/bridges/NativeUIStateStore.h"
#include "support/UnansweredBridgePage.h"

namespace murmo {
namespace {

using Command = NativeUIStateBridge::Command;

using testing::engineMainFrame;
using testing::framesNotHeard;

struct UIStatePage : testing::UnansweredBridgePage<NativeUIStateBridge, Command> {
    UIStatePage() {
        bridge->onCommand = [this](const NativeUIStateCommand& command) { received.emplace_back(command); };
        bridge->onSidebarWidthChanged = [this](double width) {
            received.emplace_back(NativeSidebarWidthCommand{width});
        };
        bridge->onCardDismissed = [this](const std::string& cardID) {
            received.emplace_back(NativeSidebarCardDismissCommand{cardID});
        };
    }
};

TEST(NativeUIStateBridgeTest, BodyTable) {
    struct Case {
        const char* body;
        std::optional<Command> command;
    };
    const Case cases[] = {
        {R"({"sidebar":"expanded"})", NativeUIStateCommand{NativeSidebarPreference::expanded}},
        {R"({"sidebar":"collapsed"})", NativeUIStateCommand{NativeSidebarPreference::collapsed}},
        {R"({"sidebar":"Collapsed"})", std::nullopt},
        {R"({"sidebar":true})", std::nullopt},
        {R"({"sidebar":null})", std::nullopt},
        {R"({"sidebarWidth":0})", NativeSidebarWidthCommand{0}},
        {R"({"sidebarWidth":640})", NativeSidebarWidthCommand{640}},
        {R"({"sidebarWidth":264.75})", NativeSidebarWidthCommand{264.75}},
        {R"({"sidebarWidth":-1})", std::nullopt},
        {R"({"sidebarWidth":641})", std::nullopt},
        {R"({"sidebarWidth":640.5})", std::nullopt},
        {R"({"sidebarWidth":1e400})", std::nullopt},
        {R"({"sidebarWidth":true})", std::nullopt},
        {R"({"sidebarWidth":"200"})", std::nullopt},
        {R"({"sidebarWidth":null})", std::nullopt},
        {R"({"dismissCard":"email-workflow-v1"})", NativeSidebarCardDismissCommand{"email-workflow-v1"}},
        {R"({"dismissCard":"email-workflow-v2"})", std::nullopt},
        {R"({"dismissCard":"Email-workflow-v1"})", std::nullopt},
        {R"({"dismissCard":1})", std::nullopt},
        // Two keys match no kind of message.
        {R"({"sidebar":"collapsed","sidebarWidth":200})", std::nullopt},
        {R"({"sidebar":"collapsed","extra":1})", std::nullopt},
        {R"({})", std::nullopt},
        {R"(["sidebar","collapsed"])", std::nullopt},
        {"null", std::nullopt},
    };
    for (const auto& c : cases) UIStatePage().expectReceives(c.body, c.command);
}

TEST(NativeUIStateBridgeTest, OnlyTheEnginesMainFrameIsHeard) {
    for (const auto& frame : framesNotHeard()) {
        UIStatePage page;
        page.post(R"({"sidebar":"collapsed"})", frame);
        page.post(R"({"sidebarWidth":200})", frame);
        page.post(R"({"dismissCard":"email-workflow-v1"})", frame);
        EXPECT_TRUE(page.received.empty());
    }
}

TEST(NativeUIStateBridgeTest, ThePageIsNeverAnsweredAndAGoneBridgeDoesNothing) {
    UIStatePage page;
    const auto index =
        page.view.postMessage(NativeUIStateBridge::kHandlerName, engineMainFrame(), R"({"sidebar":"collapsed"})");
    EXPECT_TRUE(page.received.empty());
    EXPECT_EQ(page.view.messages()[index].reply, nullptr);
    page.bridge.reset();
    page.loop.runUntilIdle();
    EXPECT_TRUE(page.received.empty());

    UIStatePage unset;
    unset.bridge->onCommand = nullptr;
    unset.bridge->onSidebarWidthChanged = nullptr;
    unset.bridge->onCardDismissed = nullptr;
    unset.post(R"({"sidebar":"collapsed"})");
    unset.post(R"({"sidebarWidth":200})");
    unset.post(R"({"dismissCard":"email-workflow-v1"})");
    EXPECT_TRUE(unset.received.empty());
}

TEST(NativeUIStateBridgeTest, ADismissedCardIsStoredOnce) {
    UIStatePage page;
    SimDefaultsStore defaults;
    NativeUIStateStore store(defaults);
    page.bridge->onCardDismissed = [&store](const std::string& cardID) { store.dismissCard(cardID); };
    page.post(R"({"dismissCard":"email-workflow-v1"})");
    page.post(R"({"dismissCard":"email-workflow-v1"})");
    page.post(R"({"dismissCard":"other-card"})");
    EXPECT_EQ(defaults.value(NativeUIStateStore::dismissedCardsKey), nlohmann::json({"email-workflow-v1"}));
}

}  // namespace
}  // namespace murmo
