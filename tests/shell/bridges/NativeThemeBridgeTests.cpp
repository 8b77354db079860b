#include "shell/bridges/NativeThemeBridge.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

WebFrameInfo frameAt(const char* url, bool isMainFrame = true) { return {isMainFrame, URL::parse(url)}; }

struct ThemePage {
    ThemePage() : bridge(NativeThemeBridge::create(loop, *URL::parse("http://127.0.0.1:8765"))) {
        bridge->onThemeChanged = [this](const NativeThemeCommand& command) { received.push_back(command); };
        EXPECT_TRUE(view.addScriptMessageHandler(NativeThemeBridge::handlerName, bridge->scriptMessageHandler()));
    }

    void post(std::optional<std::string_view> body,
              std::optional<WebFrameInfo> frame = frameAt("http://127.0.0.1:8765/")) {
        view.postMessage(NativeThemeBridge::handlerName, std::move(frame), body);
        loop.runUntilIdle();
    }

    ManualLoop loop;
    SimWebView view{loop};
    std::shared_ptr<NativeThemeBridge> bridge;
    std::vector<NativeThemeCommand> received;
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
    for (const auto& c : cases) {
        ThemePage page;
        page.post(c.body);
        if (c.command) {
            ASSERT_EQ(page.received.size(), 1u) << c.body;
            EXPECT_EQ(page.received.front(), *c.command) << c.body;
        } else {
            EXPECT_TRUE(page.received.empty()) << c.body;
        }
    }
}

TEST(NativeThemeBridgeTest, OnlyTheEnginesMainFrameIsHeard) {
    const std::optional<WebFrameInfo> frames[] = {
        frameAt("http://127.0.0.1:8765/", false),
        frameAt("http://localhost:8765/"),
        frameAt("http://127.0.0.1:9000/"),
        frameAt("http://10.0.0.1:8765/"),
        std::nullopt,
    };
    for (const auto& frame : frames) {
        ThemePage page;
        page.post(R"({"preference":"dark","resolved":"dark"})", frame);
        EXPECT_TRUE(page.received.empty());
    }
}

TEST(NativeThemeBridgeTest, ThePageIsNeverAnsweredAndAGoneBridgeDoesNothing) {
    ThemePage page;
    const auto index = page.view.postMessage(NativeThemeBridge::handlerName, frameAt("http://127.0.0.1:8765/"),
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
