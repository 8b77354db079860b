#include "engine/CoreURL.h"

#include <gtest/gtest.h>

#include "engine/CoreEventSocket.h"

namespace murmo {
namespace {

TEST(CoreURLTest, JoiningTable) {
    struct Case {
        const char* base;
        CorePath path;
        const char* expected;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8765", CorePath::literal("api/settings"), "http://127.0.0.1:8765/api/settings"},
        {"http://127.0.0.1:8765/", CorePath::literal("api/settings"), "http://127.0.0.1:8765/api/settings"},
        {"http://127.0.0.1:8765/engine", CorePath::literal("api/settings"), "http://127.0.0.1:8765/engine/api/settings"},
        {"http://127.0.0.1:8765/engine/", CorePath::literal("api/settings"),
         "http://127.0.0.1:8765/engine/api/settings"},
        {"http://localhost", CorePath::literal("api/v1/dictations").segment("a/b?c#d").literalSegments("release"),
         "http://localhost/api/v1/dictations/a%2Fb%3Fc%23d/release"},
        {"http://[::1]:9", CorePath::literal("api").segment("..").segment("."), "http://[::1]:9/api/%2E%2E/%2E"},
        {"http://h:1", CorePath::literal("api").segment("...").segment(".a"), "http://h:1/api/.../.a"},
        {"http://h:1", CorePath::literal("api").segment("caf\xC3\xA9 1"), "http://h:1/api/caf%C3%A9%201"},
    };
    for (const auto& c : cases) {
        auto base = CoreURL::parse(c.base);
        ASSERT_TRUE(base) << c.base;
        EXPECT_EQ(base->appending(c.path).text(), c.expected) << c.base;
    }
}

TEST(CoreURLTest, ParsesPortsAndRefusesWhatIsNotAnAbsoluteURL) {
    auto url = CoreURL::parse("HTTP://127.0.0.1:8765/x?y=1");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme, "http");
    EXPECT_EQ(url->host, "127.0.0.1");
    EXPECT_EQ(url->effectivePort(), 8765);
    EXPECT_EQ(url->target(), "/x?y=1");
    EXPECT_EQ(url->appending(CorePath::literal("a")).target(), "/x/a?y=1");
    EXPECT_EQ(CoreURL::parse("http://example.org")->effectivePort(), 80);
    for (const char* bad : {"127.0.0.1:8765", "http://", "http://host:99999", "http://host:x", "http://u@host",
                            "://host", "http://[::1"}) {
        EXPECT_FALSE(CoreURL::parse(bad)) << bad;
    }
}

TEST(CoreURLTest, SocketRequestUsesTheMatchingWebSocketScheme) {
    auto plain = CoreEventSocket::socketRequest(CoreURL::parse("http://127.0.0.1:8765"), "token");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->url.text(), "ws://127.0.0.1:8765/ws/events");
    ASSERT_EQ(plain->headers.size(), 1u);
    EXPECT_EQ(plain->headers[0], (std::pair<std::string, std::string>{"X-Murmo-Desktop-Token", "token"}));
    EXPECT_EQ(plain->handshakeTimeout, std::chrono::seconds(60));

    EXPECT_EQ(CoreEventSocket::socketRequest(CoreURL::parse("https://h/"), "t")->url.text(), "wss://h/ws/events");
    EXPECT_FALSE(CoreEventSocket::socketRequest(std::nullopt, "t"));
}

}  // namespace
}  // namespace murmo
