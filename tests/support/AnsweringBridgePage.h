#pragma once

// The engine's page on a simulated web view, for the tests of a bridge that
// answers the page: what they post their messages through, from the page's
// engine frame unless a test names another, and how they read the answers.
// The test makes its bridge on `loop` and registers it on `view`; a fixture
// that derives from the page has both before its own members.

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/sim/SimWebView.h"
#include "runtime/JsonRead.h"
#include "runtime/ManualLoop.h"
#include "support/BridgePageFrames.h"

namespace murmo::testing {

template <class Bridge>
struct AnsweringBridgePage {
    explicit AnsweringBridgePage(WebFrameInfo engineFrame = engineMainFrame()) : engineFrame(std::move(engineFrame)) {}

    // After every test: no message was answered twice, and none was dropped
    // without an answer (the page's promise would resolve with nothing). A
    // message still pending, say behind an open save panel, is neither.
    ~AnsweringBridgePage() {
        for (std::size_t index = 0; index < view.messages().size(); ++index) {
            const auto& reply = view.messages()[index].reply;
            if (!reply) continue;
            EXPECT_LE(reply->answers, 1) << "message " << index;
            EXPECT_FALSE(reply->droppedUnanswered) << "message " << index;
        }
    }

    // Posts without running the loop and returns the message's index.
    std::size_t send(std::optional<std::string_view> body) { return send(body, engineFrame); }
    std::size_t send(std::optional<std::string_view> body, std::optional<WebFrameInfo> frame,
                     std::string_view handlerName = Bridge::kHandlerName) {
        return view.postMessage(handlerName, std::move(frame), body);
    }
    const SimReplyRecord& replyTo(std::size_t index) const { return *view.messages()[index].reply; }

    // Posts, runs the loop, and returns what the page got.
    const SimReplyRecord& post(std::optional<std::string_view> body) { return post(body, engineFrame); }
    const SimReplyRecord& post(std::optional<std::string_view> body, std::optional<WebFrameInfo> frame) {
        const auto index = send(body, std::move(frame));
        loop.runUntilIdle();
        return replyTo(index);
    }

    // The value of an answer that must have come exactly once, and not as an
    // error.
    static json::Json payloadOf(const SimReplyRecord& reply) {
        EXPECT_EQ(reply.answers, 1);
        EXPECT_FALSE(reply.errorMessage) << *reply.errorMessage;
        return json::parse(reply.valueJSON.value_or("null")).value_or(nullptr);
    }

    // An answer that must have come exactly once, as the error `text`.
    static void expectError(const SimReplyRecord& reply, std::string_view text) {
        EXPECT_EQ(reply.answers, 1);
        EXPECT_FALSE(reply.valueJSON);
        EXPECT_EQ(reply.errorMessage, text);
    }

    // Where the page posts from unless a test names another frame.
    WebFrameInfo engineFrame;
    ManualLoop loop;
    SimWebView view{loop};
};

}  // namespace murmo::testing
