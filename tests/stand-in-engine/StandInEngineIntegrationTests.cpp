#include "stand-in-engine/StandInEngine.h"
#include "stand-in-engine/StandInRoutes.h"

#include <gtest/gtest.h>

#include <future>

#include "engine/HttpProbe.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kToken = "stand-in-test-token";

class StandInEngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.start()); }

    HttpProbeResult get(std::string_view path, std::optional<std::string> token = std::string(kToken)) {
        HttpProbe::Headers headers;
        if (token) headers.emplace_back(std::string(StandInEngine::kTokenHeader), *token);
        std::promise<HttpProbeResult> reply;
        auto url = HttpURL::parse(engine.baseURL())->appending(path);
        probe.get(url, headers, 5s, [&](HttpProbeResult result) { reply.set_value(std::move(result)); });
        return reply.get_future().get();
    }

    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    HttpProbe probe;
};

TEST_F(StandInEngineTest, EveryRequestNeedsTheDesktopToken) {
    for (auto token : {std::optional<std::string>(), std::optional<std::string>("wrong"),
                       std::optional<std::string>(std::string(kToken) + "x")}) {
        auto reply = get("api/health", token);
        EXPECT_EQ(reply.kind, HttpProbeResult::Kind::reply);
        EXPECT_EQ(reply.status, 401u);
    }
    EXPECT_EQ(get("api/health").status, 200u);
    auto requests = engine.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_FALSE(requests[0].authorized);
    EXPECT_TRUE(requests[3].authorized);
    EXPECT_EQ(requests[3].header("x-murmo-desktop-token"), kToken);
}

TEST_F(StandInEngineTest, HealthFollowsReadinessAndRepliesCanBeScriptedPerPath) {
    std::promise<void> firstReady;
    engine.onFirstReadyReply([&] { firstReady.set_value(); });
    engine.setReady(false);
    auto notReady = get("api/health");
    EXPECT_EQ(notReady.status, 503u);
    EXPECT_EQ(notReady.body, StandInEngine::notReadyHealthReply().body);

    engine.setReady(true);
    auto ready = get("api/health");
    EXPECT_EQ(ready.status, 200u);
    EXPECT_EQ(ready.body, R"({"ok":true,"protocol_version":1,"desktop_hosted":true})");
    EXPECT_EQ(firstReady.get_future().wait_for(5s), std::future_status::ready);

    EXPECT_EQ(get("api/v1/unknown").status, 404u);
    EXPECT_EQ(get("api/settings").body, standInDefaultSettings());
    engine.setReply("GET", "/api/settings", StandInReply{200, R"({"shortcut":null})"});
    auto scripted = get("api/settings?x=1");
    EXPECT_EQ(scripted.status, 200u);
    EXPECT_EQ(scripted.body, R"({"shortcut":null})");
    EXPECT_EQ(engine.requestCount("/api/settings"), 2u);
}

}  // namespace
}  // namespace murmo
