#pragma once

// The engine's page with one bridge that never answers registered on a
// simulated web view: what the tests of such bridges post their messages
// through, from the engine's main frame unless a test names another.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"
#include "runtime/URL.h"

namespace murmo::testing {

inline constexpr std::string_view kBridgeEngineURL = "http://127.0.0.1:8765";

inline WebFrameInfo frameAt(const char* url, bool isMainFrame = true) { return {isMainFrame, URL::parse(url)}; }
inline WebFrameInfo engineMainFrame() { return frameAt("http://127.0.0.1:8765/"); }

// Frames no bridge of the engine's page may hear: a subframe of the page,
// another port, scheme or host, a main frame without a URL, and a frame the
// web view could not tell.
inline std::vector<std::optional<WebFrameInfo>> framesNotHeard() {
    return {frameAt("http://127.0.0.1:8765/", false), frameAt("http://127.0.0.1:8766/"),
            frameAt("https://127.0.0.1:8765/"),       frameAt("http://example.org:8765/"),
            WebFrameInfo{true, std::nullopt},         std::nullopt};
}

template <class Bridge, class Received>
struct UnansweredBridgePage {
    template <class... Extra>
    explicit UnansweredBridgePage(Extra&&... extra)
        : bridge(Bridge::create(loop, *URL::parse(kBridgeEngineURL), std::forward<Extra>(extra)...)) {
        EXPECT_TRUE(view.addScriptMessageHandler(Bridge::kHandlerName, bridge->scriptMessageHandler()));
    }

    void post(std::optional<std::string_view> body, std::optional<WebFrameInfo> frame = engineMainFrame()) {
        view.postMessage(Bridge::kHandlerName, std::move(frame), body);
        loop.runUntilIdle();
    }

    // Posts `body` and checks it reached the owner as `expected`, or, when
    // nothing is expected, that it changed nothing.
    void expectReceives(const char* body, const std::optional<Received>& expected) {
        post(body);
        if (expected) {
            ASSERT_EQ(received.size(), 1u) << body;
            EXPECT_EQ(received.front(), *expected) << body;
        } else {
            EXPECT_TRUE(received.empty()) << body;
        }
    }

    ManualLoop loop;
    SimWebView view{loop};
    std::shared_ptr<Bridge> bridge;
    std::vector<Received> received;
};

}  // namespace murmo::testing
