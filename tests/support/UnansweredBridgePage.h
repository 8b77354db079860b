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
#include "support/BridgePageFrames.h"

namespace murmo::testing {

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
