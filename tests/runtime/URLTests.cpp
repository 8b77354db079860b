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

}  // namespace
}  // namespace murmo
