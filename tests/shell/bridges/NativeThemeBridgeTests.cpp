#include "shell/bridges/NativeThemeBridge.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/UnansweredBridgePage.h"

namespace murmo {
namespace {

using testing::engineMainFrame;
using testing::framesNotHeard;

struct ThemePage : testing::UnansweredBridgePage<NativeThemeBridge, NativeThemeCommand> {
    ThemePage() {
        bridge->onThemeChanged = [this](const NativeThemeCommand& command) { received.push_back(command); };
    }
};

TEST(NativeThemeBridgeTest, ConsistentPairs) {
    const char* preferences[] = {"system", "light", "dark", "black", "System", "auto", ""};
    const char* resolved[] = {"light", "dark", "black", "Dark", "system", ""};
    const std::set<std::pair<std::string, std::string>> consistent = {
        {"system", "light"}, {"system", "dark"}, {"light", "light"}, {"dark", "dark"}, {"black", "black"}};
    for (const auto* preference : preferences) {
        for (const auto* shown : resolved) {
            EXPECT_EQ(NativeThemeCommand::isConsistent(preference, shown), consistent.contains({preference, shown}))
                << preference << " / " << shown;
        }
    }
}

TEST(NativeThemeBridgeTest, BodyTable) {
    struct Case {
        const char* body;
        std::optional<NativeThemeCommand> command;
    };
    const Case cases[] = {
        {R"({"preference":"system","resolved":"dark"})", NativeThemeCommand{"system", "dark"}},
        {R"({"resolved":"black","preference":"black"})", NativeThemeCommand{"black", "black"}},
        {R"({"preference":"system","resolved":"black"})", std::nullopt},
        {R"({"preference":"black","resolved":"dark"})", std::nullopt},
        {R"({"preference":"Dark","resolved":"dark"})", std::nullopt},
        {R"({"preference":"dark ","resolved":"dark"})", std::nullopt},
        {R"({"preference":"light"})", std::nullopt},
        {R"({"preference":"light","resolved":"light","color_scheme":"light"})", std::nullopt},
        {R"({"preference":"light","resolved":null})", std::nullopt},
        {R"({"preference":true,"resolved":"light"})", std::nullopt},
        {R"({"preference":["light"],"resolved":"light"})", std::nullopt},
        {R"(["light","light"])", std::nullopt},
        {"null", std::nullopt},
    };
    for (const auto& c : cases) ThemePage().expectReceives(c.body, c.command);
}

TEST(NativeThemeBridgeTest, OnlyTheEnginesMainFrameIsHeard) {
    for (const auto& frame : framesNotHeard()) {
        ThemePage page;
        page.post(R"({"preference":"dark","resolved":"dark"})", frame);
        EXPECT_TRUE(page.received.empty());
    }
}

TEST(NativeThemeBridgeTest, ThePageIsNeverAnsweredAndAGoneBridgeDoesNothing) {
    ThemePage page;
    const auto index = page.view.postMessage(NativeThemeBridge::kHandlerName, engineMainFrame(),
                                             R"({"preference":"dark","resolved":"dark"})");
    EXPECT_EQ(page.view.messages()[index].reply, nullptr);
    page.bridge.reset();
    page.loop.runUntilIdle();
    EXPECT_TRUE(page.received.empty());

    ThemePage unset;
    unset.bridge->onThemeChanged = nullptr;
    unset.post(R"({"preference":"dark","resolved":"dark"})");
    EXPECT_TRUE(unset.received.empty());
}

}  // namespace
}  // namespace murmo
