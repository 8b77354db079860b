#include "shell/bridges/NativeWritingCopyBridge.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimDesktop.h"
#include "shell/bridges/PageBridgeTexts.h"
#include "support/AnsweringBridgePage.h"

namespace murmo {
namespace {

using Bridge = NativeWritingCopyBridge;
using testing::bodyWith;
using testing::engineMainFrame;
using testing::frameAt;
const std::string kRejected(Bridge::kRejectedText);
const std::string kNotCopied(Bridge::kNotCopiedText);
constexpr std::string_view kCopied = R"({"copied":true})";

std::vector<PasteboardItem> clipboardOf(std::string_view text) { return {PasteboardItem::plainText(text)}; }

class NativeWritingCopyBridgeTest : public ::testing::Test, protected testing::AnsweringBridgePage<Bridge> {
protected:
    SimDesktop desktop{loop};
    std::shared_ptr<Bridge> bridge =
        Bridge::create(loop, *URL::parse(testing::kBridgeEngineURL), desktop.ports().pasteboard);
    int copies = 0;

    void SetUp() override {
        ASSERT_TRUE(view.addScriptMessageHandlerWithReply(Bridge::kHandlerName, bridge->handler()));
        bridge->onSuccessfulCopy = [this] { ++copies; };
        desktop.userCopies(clipboardOf("the user's own"));
        desktop.model().pasteboard.calls.clear();
    }

    void expectClipboardUntouched() {
        EXPECT_EQ(desktop.pasteboardItems(), clipboardOf("the user's own"));
        EXPECT_EQ(desktop.model().pasteboard.changeCount, 2);
    }
};

TEST_F(NativeWritingCopyBridgeTest, RefusedCopiesAreRejectedOnceAndNeverTouchTheClipboard) {
    const struct {
        const char* why;
        std::optional<std::string> body;
        std::optional<WebFrameInfo> frame = engineMainFrame();
    } rows[] = {
        {"subframe", bodyWith({{"text", "x"}}), frameAt("http://127.0.0.1:8765/", false)},
        {"another scheme", bodyWith({{"text", "x"}}), frameAt("https://127.0.0.1:8765/")},
        {"another host", bodyWith({{"text", "x"}}), frameAt("http://localhost:8765/")},
        {"another port", bodyWith({{"text", "x"}}), frameAt("http://127.0.0.1:8766/")},
        {"main frame without a URL", bodyWith({{"text", "x"}}), WebFrameInfo{true, std::nullopt}},
        {"unknown frame", bodyWith({{"text", "x"}}), std::nullopt},
        {"no body", std::nullopt},
        {"not an object", R"("x")"},
        {"no key", R"({})"},
        {"surplus key", R"({"text":"x","format":"plain"})"},
        {"null text", R"({"text":null})"},
        {"text not a string", R"({"text":1})"},
        {"empty", bodyWith({{"text", ""}})},
        {"spaces, tabs and newlines", bodyWith({{"text", " \t\r\n \n"}})},
        {"no-break spaces", bodyWith({{"text", "\u00A0\u00A0"}})},
        {"an ideographic space", bodyWith({{"text", "\u3000"}})},
        {"a line separator", bodyWith({{"text", "\u2028"}})},
        {"every kind at once", bodyWith({{"text", "\u00A0 \u3000\u2028\u2029\u0085\t\n"}})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        expectError(post(row.body, row.frame), kRejected);
    }
    const auto elsewhere = send(bodyWith({{"text", "x"}}), engineMainFrame(), "dorvexWritingCopy2");
    ASSERT_TRUE(view.addScriptMessageHandlerWithReply("dorvexWritingCopy2", bridge->handler()));
    const auto renamed = send(bodyWith({{"text", "x"}}), engineMainFrame(), "dorvexWritingCopy2");
    loop.runUntilIdle();
    EXPECT_FALSE(view.messages()[elsewhere].delivered);
    expectError(replyTo(renamed), kRejected);

    expectClipboardUntouched();
    EXPECT_TRUE(desktop.model().pasteboard.calls.empty());
    EXPECT_EQ(copies, 0);
}

TEST_F(NativeWritingCopyBridgeTest, AcceptedTextsAreCopiedExactlyAsSentInOneStep) {
    const std::string rows[] = {
        "  leading and trailing spaces  ",
        "\n\tindented\n",
        std::string("nul\0inside and at the end\0", 26),
        "\u00A0no-break around\u3000",
        "x",
    };
    for (const auto& text : rows) {
        SCOPED_TRACE(text);
        desktop.model().pasteboard.calls.clear();
        const auto index = send(bodyWith({{"text", text}}));
        int answersSeenByCallback = -1;
        bridge->onSuccessfulCopy = [&] { answersSeenByCallback = replyTo(index).answers; };
        EXPECT_TRUE(desktop.model().pasteboard.calls.empty()) << "written on a later turn, not in the callback";
        loop.runUntilIdle();
        const auto& reply = replyTo(index);
        EXPECT_EQ(reply.answers, 1);
        EXPECT_EQ(reply.valueJSON, kCopied);
        EXPECT_EQ(answersSeenByCallback, 0);
        EXPECT_EQ(desktop.pasteboardItems(), clipboardOf(text));
        ASSERT_EQ(desktop.model().pasteboard.calls.size(), 1u);
        EXPECT_EQ(desktop.model().pasteboard.calls[0].operation, SimPasteboardOperation::replace);
    }
}

TEST_F(NativeWritingCopyBridgeTest, AWriteThePasteboardRefusesKeepsTheUsersClipboard) {
    desktop.addPasteboardFault({.operation = SimPasteboardOperation::write});
    expectError(post(bodyWith({{"text", "dictated"}})), kNotCopied);
    expectClipboardUntouched();
    EXPECT_EQ(copies, 0);

    EXPECT_FALSE(Bridge::write("not UTF-8 \xFF", desktop.pasteboard()));
    expectClipboardUntouched();
    EXPECT_EQ(desktop.model().pasteboard.calls.size(), 1u) << "an item that cannot be made never reaches it";

    bridge->writeText = [](std::string_view) { return false; };
    expectError(post(bodyWith({{"text", "dictated"}})), kNotCopied);
    bridge->writeText = nullptr;
    expectError(post(bodyWith({{"text", "dictated"}})), kNotCopied);
    expectClipboardUntouched();
    EXPECT_EQ(copies, 0);
}

TEST_F(NativeWritingCopyBridgeTest, TheCheckStandsAloneAndHandsBackTheTextUntrimmed) {
    const auto origin = *URL::parse(testing::kBridgeEngineURL);
    const auto page = URL::parse("http://127.0.0.1:8765/writing?tab=1");
    const auto body = json::parse(R"({"text":" kept \u0000 "})");
    ASSERT_TRUE(body);
    const std::optional<json::Json> present = *body;
    EXPECT_EQ(Bridge::text(present, page, origin, true), std::string(" kept \0 ", 8));
    EXPECT_FALSE(Bridge::text(present, page, origin, false));
    EXPECT_FALSE(Bridge::text(present, std::nullopt, origin, true));
    EXPECT_FALSE(Bridge::text(present, URL::parse("http://127.0.0.1/"), *URL::parse("http://127.0.0.1:80"), true))
        << "a missing port never equals an explicit one";
    EXPECT_FALSE(Bridge::text(std::nullopt, page, origin, true));
}

TEST_F(NativeWritingCopyBridgeTest, TheLargestTextIsCopiedAndOneByteMoreIsRejected) {
    const auto& largest = testing::largestBridgeText();
    expectError(post(bodyWith({{"text", largest + "!"}})), kRejected);
    expectClipboardUntouched();

    const auto& reply = post(bodyWith({{"text", largest}}));
    EXPECT_EQ(reply.valueJSON, kCopied);
    ASSERT_EQ(desktop.pasteboardItems().size(), 1u);
    EXPECT_TRUE(desktop.pasteboardItems()[0] == PasteboardItem::plainText(largest));
}

TEST_F(NativeWritingCopyBridgeTest, AnAcceptedCopyIsAnsweredOnceAfterThePageAndBridgeAreGone) {
    const auto first = send(bodyWith({{"text", "one"}}));
    const auto second = send(bodyWith({{"text", "two"}}));
    view.terminateWebProcess(WebProcessTermination::crashed);
    view.removeScriptMessageHandler(Bridge::kHandlerName);
    bridge.reset();
    loop.runUntilIdle();
    for (const auto index : {first, second}) {
        EXPECT_EQ(replyTo(index).answers, 1);
        EXPECT_EQ(replyTo(index).valueJSON, kCopied);
    }
    EXPECT_EQ(desktop.pasteboardItems(), clipboardOf("two")) << "in the order they were posted";
    EXPECT_EQ(copies, 2);
}

}  // namespace
}  // namespace murmo
