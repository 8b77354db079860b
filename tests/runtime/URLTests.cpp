#include "runtime/URL.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

TEST(URLTest, JoiningTable) {
    struct Case {
        const char* base;
        URLPath path;
        const char* expected;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8765", URLPath::literal("api/settings"), "http://127.0.0.1:8765/api/settings"},
        {"http://127.0.0.1:8765/", URLPath::literal("api/settings"), "http://127.0.0.1:8765/api/settings"},
        {"http://127.0.0.1:8765/engine", URLPath::literal("api/settings"), "http://127.0.0.1:8765/engine/api/settings"},
        {"http://127.0.0.1:8765/engine/", URLPath::literal("api/settings"),
         "http://127.0.0.1:8765/engine/api/settings"},
        {"http://localhost", URLPath::literal("api/v1/dictations").segment("a/b?c#d").literalSegments("release"),
         "http://localhost/api/v1/dictations/a%2Fb%3Fc%23d/release"},
        {"http://[::1]:9", URLPath::literal("api").segment("..").segment("."), "http://[::1]:9/api/%2E%2E/%2E"},
        {"http://h:1", URLPath::literal("api").segment("...").segment(".a"), "http://h:1/api/.../.a"},
        {"http://h:1", URLPath::literal("api").segment("caf\xC3\xA9 1"), "http://h:1/api/caf%C3%A9%201"},
    };
    for (const auto& c : cases) {
        auto base = URL::parseServer(c.base);
        ASSERT_TRUE(base) << c.base;
        EXPECT_EQ(base->appending(c.path).text(), c.expected) << c.base;
    }
}

TEST(URLTest, ParsesPortsAndRefusesWhatIsNotAnAbsoluteURL) {
    auto url = URL::parseServer("HTTP://127.0.0.1:8765/x?y=1");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "http");
    EXPECT_EQ(url->host(), "127.0.0.1");
    EXPECT_EQ(url->effectivePort(), 8765);
    EXPECT_EQ(url->target(), "/x?y=1");
    EXPECT_EQ(url->appending(URLPath::literal("a")).target(), "/x/a?y=1");
    EXPECT_EQ(URL::parseServer("http://example.org")->effectivePort(), 80);
    for (const char* bad : {"127.0.0.1:8765", "http://", "http://host:99999", "http://host:x", "http://u@host",
                            "://host", "http://[::1"}) {
        EXPECT_FALSE(URL::parseServer(bad)) << bad;
    }
}

TEST(URLTest, AnyAbsoluteURLParsesButOnlyOneNamingAServerConnects) {
    struct Case {
        const char* text;
        bool absolute;
        bool server;
        std::optional<std::uint16_t> port;
    };
    const Case cases[] = {
        {"http://127.0.0.1:9000", true, true, 9000},
        {"http://127.0.0.1:0", true, true, 0},
        {"http://127.0.0.1:", true, false, std::nullopt},
        {"http://127.0.0.1:74001", false, false, std::nullopt},
        {"http://u@h:1", true, false, 1},
        {"mailto:someone@example.org", true, false, std::nullopt},
        {"http://bad host", false, false, std::nullopt},
        {"http://h/%zz", false, false, std::nullopt},
        {"http://h/caf\xC3\xA9", false, false, std::nullopt},
        {"not a url", false, false, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto url = URL::parse(c.text);
        EXPECT_EQ(url.has_value(), c.absolute) << c.text;
        EXPECT_EQ(URL::parseServer(c.text).has_value(), c.server) << c.text;
        if (url) {
            EXPECT_EQ(url->port(), c.port) << c.text;
        }
    }
}

TEST(URLTest, ServerPartsForIPv6SecureSchemesAndFragments) {
    const auto ipv6 = URL::parseServer("http://[::1]:9/x");
    ASSERT_TRUE(ipv6);
    EXPECT_EQ(ipv6->host(), "::1");
    EXPECT_EQ(ipv6->hostHeader(), "[::1]:9");

    const auto secure = URL::parseServer("https://example.org/a?b=c#top");
    ASSERT_TRUE(secure);
    EXPECT_EQ(secure->effectivePort(), 443);
    EXPECT_EQ(secure->hostHeader(), "example.org");
    EXPECT_EQ(secure->target(), "/a?b=c");
    EXPECT_EQ(secure->withScheme("wss").text(), "wss://example.org/a?b=c");
    EXPECT_EQ(URL::parseServer("http://h")->target(), "/");
}

}  // namespace
}  // namespace murmo
