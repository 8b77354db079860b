#include "shell/bridges/BridgeMessageRules.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

using namespace std::string_literals;

enum class Frame { main, sub, unknown };

URL parsed(std::string_view text) {
    auto url = URL::parse(text);
    EXPECT_TRUE(url) << text;
    return url.value_or(URL{});
}

ScriptMessage messageFrom(std::string name, Frame frame, const char* frameURL) {
    ScriptMessage message{.handlerName = std::move(name), .frame = std::nullopt, .body = json::Json::object()};
    if (frame != Frame::unknown) {
        message.frame = WebFrameInfo{frame == Frame::main, frameURL ? URL::parse(frameURL) : std::nullopt};
    }
    return message;
}

TEST(BridgeMessageRulesTest, OriginTable) {
    struct Case {
        const char* engineURL;
        // Null: the frame's request has no URL.
        const char* frameURL;
        Frame frame;
        bool engineOrigin;
        bool pageOrigin;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8765", "http://127.0.0.1:8765/", Frame::main, true, true},
        {"http://127.0.0.1:8765", "http://127.0.0.1:8765/dashboard?tab=1", Frame::main, true, true},
        // Only the main frame speaks for the page, even at the engine's own URL.
        {"http://127.0.0.1:8765", "http://127.0.0.1:8765/", Frame::sub, false, false},
        {"http://127.0.0.1:8765", "http://127.0.0.1:8765/", Frame::unknown, false, false},
        {"http://127.0.0.1:8765", nullptr, Frame::main, false, false},
        // Hosts: a loopback name written otherwise is another host; case only
        // matters to the page rule.
        {"http://127.0.0.1:8765", "http://LOCALHOST:8765/", Frame::main, false, false},
        {"http://localhost:8765", "http://LOCALHOST:8765/", Frame::main, true, false},
        {"http://LocalHost:8765", "http://localhost:8765/", Frame::main, true, false},
        {"http://192.168.1.5:8765", "http://192.168.1.5:8765/", Frame::main, false, true},
        {"http://example.org", "http://example.org/", Frame::main, false, true},
        // The URL type reports schemes lowercased.
        {"http://127.0.0.1:8765", "HTTP://127.0.0.1:8765/", Frame::main, true, true},
        {"http://127.0.0.1:8765", "https://127.0.0.1:8765/", Frame::main, false, false},
        // Ports: effective for the engine, explicit for the page.
        {"http://127.0.0.1:8765", "http://127.0.0.1:8766/", Frame::main, false, false},
        {"http://127.0.0.1:8765", "http://127.0.0.1/", Frame::main, false, false},
        {"http://127.0.0.1", "http://127.0.0.1:80/", Frame::main, true, false},
        {"http://127.0.0.1:80", "http://127.0.0.1/", Frame::main, true, false},
        {"https://localhost", "https://localhost:443/", Frame::main, true, false},
        {"https://localhost", "https://localhost:80/", Frame::main, false, false},
        // IPv6 hosts compare without brackets; only "::1" is on the list.
        {"http://[::1]:8765", "http://[::1]:8765/", Frame::main, true, true},
        {"http://[::1]", "http://[::1]:80/", Frame::main, true, false},
        {"http://[::1]:8765", "http://127.0.0.1:8765/", Frame::main, false, false},
        {"http://[0:0:0:0:0:0:0:1]:8765", "http://[0:0:0:0:0:0:0:1]:8765/", Frame::main, false, true},
        // Other schemes have no default port: none equals none, never a number.
        {"ws://127.0.0.1", "ws://127.0.0.1/", Frame::main, true, true},
        {"ws://127.0.0.1", "ws://127.0.0.1:80/", Frame::main, false, false},
        {"file:///srv/index.html", "file:///etc/passwd", Frame::main, false, true},
        {"http://127.0.0.1:8765", "blob:http://127.0.0.1:8765/0a1b", Frame::main, false, false},
        {"http://127.0.0.1:8765", "about:blank", Frame::main, false, false},
    };
    for (const auto& c : cases) {
        const auto where = std::string(c.engineURL) + " <- " + (c.frameURL ? c.frameURL : "(no URL)") + " frame " +
                           std::to_string(static_cast<int>(c.frame));
        const BridgeMessageRules engine("murmoTheme", BridgeOriginRule::engine, parsed(c.engineURL));
        const BridgeMessageRules page("dorvexFileExport", BridgeOriginRule::page, parsed(c.engineURL));
        EXPECT_EQ(engine.admits(messageFrom("murmoTheme", c.frame, c.frameURL)), c.engineOrigin) << where;
        EXPECT_EQ(page.admits(messageFrom("dorvexFileExport", c.frame, c.frameURL)), c.pageOrigin) << where;

        // The free rules agree with the bridge's verdict on a main frame.
        if (c.frame == Frame::main) {
            const WebFrameInfo frame{true, c.frameURL ? URL::parse(c.frameURL) : std::nullopt};
            EXPECT_EQ(isTrustedFrame(frame, parsed(c.engineURL)), c.engineOrigin) << where;
            EXPECT_EQ(isSamePageOrigin(frame, parsed(c.engineURL)), c.pageOrigin) << where;
        }
    }
}

TEST(BridgeMessageRulesTest, OriginRulesOnTheirOwnReadTheFrameAsTheyAreTold) {
    // The engine rule leaves the main frame to the message check; the page
    // rule takes it in.
    const WebFrameInfo subframe{false, URL::parse("http://127.0.0.1:8765/")};
    EXPECT_TRUE(isTrustedFrame(subframe, parsed("http://127.0.0.1:8765")));
    EXPECT_FALSE(isSamePageOrigin(subframe, parsed("http://127.0.0.1:8765")));
}

TEST(BridgeMessageRulesTest, EffectivePortTable) {
    struct Case {
        const char* url;
        std::optional<std::uint16_t> port;
    };
    const Case cases[] = {
        {"http://h", 80},
        {"HTTP://h", 80},
        {"https://h", 443},
        {"http://h:0", 0},
        {"https://h:8443", 8443},
        {"ws://h", std::nullopt},
        {"wss://h", std::nullopt},
        {"ftp://h:21", 21},
        {"file:///x", std::nullopt},
        {"about:blank", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(effectivePort(parsed(c.url)), c.port) << c.url;
}

TEST(BridgeMessageRulesTest, HandlerNameMatchesByteForByte) {
    const BridgeMessageRules rules("murmoTheme", BridgeOriginRule::engine, parsed("http://127.0.0.1:8765"));
    for (const auto& name : {"murmoTheme"s, "murmotheme"s, "murmoTheme\0"s, "murmoThem"s, "murmoTheme "s, ""s}) {
        EXPECT_EQ(rules.admits(messageFrom(name, Frame::main, "http://127.0.0.1:8765/")), name == "murmoTheme")
            << name.size();
    }
    EXPECT_FALSE(BridgeMessageRules("murmoTheme\0x"s, BridgeOriginRule::engine, parsed("http://127.0.0.1:8765"))
                     .admits(messageFrom("murmoTheme", Frame::main, "http://127.0.0.1:8765/")));
}

struct CountingBridge {
    int actions = 0;
};

TEST(BridgeMessageRulesTest, PostedActionsHoldTheBridgeAsTheOriginRuleSays) {
    struct Case {
        BridgeOriginRule rule;
        bool ownerDropsBridgeBeforeRun;
        bool actionRuns;
        bool whenGoneRuns;
    };
    const Case cases[] = {
        {BridgeOriginRule::engine, false, true, false},
        {BridgeOriginRule::engine, true, false, true},
        {BridgeOriginRule::page, false, true, false},
        {BridgeOriginRule::page, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "page origin " << (c.rule == BridgeOriginRule::page) << ", dropped "
                                          << c.ownerDropsBridgeBeforeRun);
        ManualLoop loop;
        const BridgeMessageRules rules("bridge", c.rule, parsed("http://127.0.0.1:8765"));
        auto bridge = std::make_shared<CountingBridge>();
        const std::weak_ptr<CountingBridge> observer = bridge;
        int actionsRun = 0;
        int goneRun = 0;
        rules.post(
            loop, bridge,
            [&actionsRun](CountingBridge& target) {
                ++target.actions;
                ++actionsRun;
            },
            [&goneRun] { ++goneRun; });
        EXPECT_EQ(actionsRun + goneRun, 0) << "ran inside the message callback";
        if (c.ownerDropsBridgeBeforeRun) bridge.reset();
        // Only the page rule's action keeps a dropped bridge alive.
        EXPECT_EQ(observer.expired(), c.ownerDropsBridgeBeforeRun && c.rule == BridgeOriginRule::engine);

        loop.runUntilIdle();
        EXPECT_EQ(actionsRun, c.actionRuns ? 1 : 0);
        EXPECT_EQ(goneRun, c.whenGoneRuns ? 1 : 0);
        // The action run, nothing holds a bridge its owner let go of.
        EXPECT_EQ(observer.expired(), c.ownerDropsBridgeBeforeRun);
    }
}

TEST(BridgeMessageRulesTest, PostedActionsRunInTheOrderTheMessagesCame) {
    ManualLoop loop;
    const BridgeMessageRules rules("bridge", BridgeOriginRule::engine, parsed("http://127.0.0.1:8765"));
    auto bridge = std::make_shared<CountingBridge>();
    std::string order;
    for (char step : {'a', 'b', 'c'}) {
        rules.post(loop, bridge, [&order, step](CountingBridge&) { order += step; });
    }
    loop.runUntilIdle();
    EXPECT_EQ(order, "abc");
}

}  // namespace
}  // namespace murmo
