#include "shell/bridges/NativeAudioBridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/AnsweringBridgePage.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using Bridge = NativeAudioBridge;
using Action = NativeAudioCommand::Action;
using testing::frameAt;
const std::string kRejected(Bridge::kRejectedText);
const std::string kUnavailable(Bridge::kUnavailableText);
constexpr std::string_view kOperation = "0f8e2c1a-5b7d-4e3f-9a6b-c2d4e6f80a1b";
constexpr std::string_view kOtherOperation = "7d3c9b1e-2a4f-4c6d-8e0a-1b3c5d7e9f20";

const WebFrameInfo kEngineFrame = frameAt("http://127.0.0.1:8765/notes");

std::string body(std::string_view action, std::string_view operationID) {
    return json::Json{{"action", action}, {"operation_id", operationID}}.dump();
}

// A command as the owner received it, with the reply it must answer.
struct Received {
    NativeAudioCommand command;
    std::unique_ptr<WebAudioReply> reply;
};

class NativeAudioBridgeTest : public ::testing::Test, protected testing::AnsweringBridgePage<Bridge> {
protected:
    NativeAudioBridgeTest() : AnsweringBridgePage(kEngineFrame) {}

    std::shared_ptr<Bridge> bridge = Bridge::create(loop, *URL::parse("http://127.0.0.1:8765"));
    std::vector<Received> received;

    void SetUp() override {
        ASSERT_TRUE(view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
        // The owner keeps each reply to answer later, as the coordinator does.
        bridge->onCommand = [this](NativeAudioCommand command, WebAudioReply reply) {
            received.push_back({std::move(command), std::make_unique<WebAudioReply>(std::move(reply))});
        };
    }
};

TEST_F(NativeAudioBridgeTest, AcceptedBodiesReachTheOwnerWithTheIdInLowerCase) {
    const struct {
        std::string body;
        NativeAudioCommand command;
    } rows[] = {
        {body("begin", kOperation), {Action::begin, std::string(kOperation)}},
        {body("end", "0F8E2C1A-5B7D-4E3F-9A6B-C2D4E6F80A1B"), {Action::end, std::string(kOperation)}},
        {body("cancel", "0f8E2c1A-5B7d-4e3F-9a6B-c2D4e6F80a1B"), {Action::cancel, std::string(kOperation)}},
        // Any UUID, not only the kind the page's crypto.randomUUID() makes.
        {body("begin", "00000000-0000-0000-0000-000000000000"),
         {Action::begin, "00000000-0000-0000-0000-000000000000"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body);
        received.clear();
        const auto index = send(row.body);
        EXPECT_TRUE(received.empty()) << "the command runs on the loop, not in the callback";
        loop.runUntilIdle();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].command, row.command);
        EXPECT_EQ(replyTo(index).answers, 0) << "answered by the owner, not by the bridge";
    }
}

TEST_F(NativeAudioBridgeTest, RefusedMessagesNeverReachTheOwnerAndAreRejectedOnce) {
    const std::string upper = "0F8E2C1A-5B7D-4E3F-9A6B-C2D4E6F80A1B";
    const struct {
        const char* why;
        std::optional<std::string> body;
        WebFrameInfo frame = kEngineFrame;
    } rows[] = {
        {"subframe", body("begin", kOperation), frameAt("http://127.0.0.1:8765/notes", false)},
        {"another host", body("begin", kOperation), frameAt("http://localhost:8765/notes")},
        {"no body", std::nullopt},
        {"not an object", R"(["begin"])"},
        {"not a UUID", body("begin", "recording-1")},
        {"a UUID without hyphens", body("begin", "0f8e2c1a5b7d4e3f9a6bc2d4e6f80a1b")},
        {"a UUID in braces", body("begin", "{0f8e2c1a-5b7d-4e3f-9a6b-c2d4e6f80a1b}")},
        {"a UUID with a space", body("end", " 0f8e2c1a-5b7d-4e3f-9a6b-c2d4e6f80a1b")},
        {"hyphens out of place", body("end", "0f8e2c1a5-b7d-4e3f-9a6b-c2d4e6f80a1b")},
        {"a letter beyond f", body("end", "0f8e2c1a-5b7d-4e3f-9a6b-c2d4e6f80a1g")},
        {"a number", R"({"action":"begin","operation_id":42})"},
        {"null operation", R"({"action":"begin","operation_id":null})"},
        {"extra key", R"({"action":"begin","operation_id":")" + upper + R"(","sample_rate":16000})"},
        {"extra key on cancel", R"({"action":"cancel","operation_id":")" + upper + R"(","reason":"user"})"},
        {"missing operation", R"({"action":"end"})"},
        {"missing action", R"({"operation_id":")" + upper + R"("})"},
        {"capital letter", body("Begin", kOperation)},
        {"other word", body("start", kOperation)},
        {"other word", body("stop", kOperation)},
        {"action not a string", R"({"action":1,"operation_id":")" + upper + R"("})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        expectError(post(row.body, row.frame), kRejected);
    }
    EXPECT_TRUE(received.empty());
}

TEST_F(NativeAudioBridgeTest, WithoutAnOwnerEveryValidCommandIsUnavailable) {
    bridge->onCommand = nullptr;
    for (const auto* action : {"begin", "end", "cancel"}) {
        SCOPED_TRACE(action);
        const auto& reply = post(body(action, kOperation));
        EXPECT_EQ(reply.answers, 1);
        EXPECT_EQ(reply.errorMessage, kUnavailable);
    }
}

TEST_F(NativeAudioBridgeTest, EachReplyAnswersItsOwnMessageInWhateverOrderTheyCome) {
    const auto begin = send(body("begin", kOperation));
    const auto end = send(body("end", kOtherOperation));
    loop.runUntilIdle();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].command.operationID, kOperation);

    // A failure is part of the owner's dictionary: a value, never an error.
    const json::Json failure = {{"error", "Recording was cancelled."}, {"code", "recording_cancelled"}};
    received[1].reply->answer(failure);
    EXPECT_EQ(replyTo(begin).answers, 0);
    EXPECT_EQ(payloadOf(replyTo(end)), failure);

    received[0].reply->answer(json::Json{{"started", true}});
    received[0].reply->answer(json::Json{{"started", false}});
    loop.advance(1s);
    EXPECT_EQ(payloadOf(replyTo(begin)), (json::Json{{"started", true}}));
    EXPECT_EQ(replyTo(end).answers, 1);
}

TEST_F(NativeAudioBridgeTest, APendingCommandIsAnsweredOnceWhenThePageOrItsHandlerWentAway) {
    const struct {
        const char* why;
        std::function<void(SimWebView&)> goAway;
    } rows[] = {
        {"navigated",
         [](SimWebView& view) {
             view.beginProvisionalLoad();
             view.finishLoad();
         }},
        {"crashed", [](SimWebView& view) { view.terminateWebProcess(WebProcessTermination::crashed); }},
        {"handler removed", [](SimWebView& view) { view.removeScriptMessageHandler(Bridge::kHandlerName); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        received.clear();
        view.removeScriptMessageHandler(Bridge::kHandlerName);
        ASSERT_TRUE(view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
        const auto index = send(body("begin", kOperation));
        loop.runUntilIdle();
        ASSERT_EQ(received.size(), 1u);
        row.goAway(view);
        loop.runUntilIdle();
        EXPECT_EQ(replyTo(index).answers, 0);
        received[0].reply->answer(json::Json{{"ended", true}});
        received.clear();
        loop.advance(1s);
        EXPECT_EQ(payloadOf(replyTo(index)), (json::Json{{"ended", true}}));
    }
}

TEST_F(NativeAudioBridgeTest, ABridgeGoneBeforeTheLoopRanAnswersUnavailableAndTheOwnerNeverHearsOfIt) {
    const auto index = send(body("cancel", kOperation));
    bridge.reset();
    loop.runUntilIdle();
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(replyTo(index).answers, 1);
    EXPECT_EQ(replyTo(index).errorMessage, kUnavailable);
    EXPECT_EQ(post(body("begin", kOperation)).errorMessage, kUnavailable) << "the handler outlives its bridge";
}

TEST_F(NativeAudioBridgeTest, ACommandTheOwnerHoldsIsStillAnsweredAfterTheBridgeWentAway) {
    const auto index = send(body("end", kOperation));
    loop.runUntilIdle();
    ASSERT_EQ(received.size(), 1u);
    bridge.reset();
    received[0].reply->answer(json::Json{{"ended", true}});
    EXPECT_EQ(payloadOf(replyTo(index)), (json::Json{{"ended", true}}));
}

TEST_F(NativeAudioBridgeTest, AReplyDroppedUnansweredStillAnswersThePageOnce) {
    const auto held = send(body("begin", kOperation));
    loop.runUntilIdle();
    received.clear();
    loop.advance(1s);
    EXPECT_EQ(payloadOf(replyTo(held)), WebAudioReply::unavailable());
    EXPECT_FALSE(replyTo(held).droppedUnanswered);

    // An owner that lets the reply go inside the call.
    bridge->onCommand = [](NativeAudioCommand, WebAudioReply) {};
    const auto& dropped = post(body("cancel", kOperation));
    EXPECT_EQ(payloadOf(dropped), WebAudioReply::unavailable());
    EXPECT_FALSE(dropped.droppedUnanswered);
}

TEST_F(NativeAudioBridgeTest, ADictionaryThePageCannotReceiveIsAnsweredAsAnUnavailableService) {
    const auto index = send(body("end", kOperation));
    loop.runUntilIdle();
    ASSERT_EQ(received.size(), 1u);
    received[0].reply->answer(json::Json{{"error", std::string("not UTF-8: \xFF")}});
    EXPECT_EQ(payloadOf(replyTo(index)), WebAudioReply::unavailable());
}

}  // namespace
}  // namespace murmo
