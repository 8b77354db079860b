#include "stand-in-engine/StandInEngine.h"
#include "stand-in-engine/StandInRoutes.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <future>
#include <optional>

#include "engine/BeastCoreTransport.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kToken = "stand-in-test-token";

class StandInEngineTest : public ::testing::Test {
protected:
    void SetUp() override { start(StandInEngineOptions{}.recordCapacity); }

    void start(std::size_t recordCapacity) {
        engine.reset();
        engine.emplace(StandInEngineOptions{"127.0.0.1", 0, std::string(kToken), recordCapacity});
        ASSERT_TRUE(engine->start());
    }

    // Sends text frames on an event socket of its own, closing it after.
    void sendFrames(const std::vector<std::string>& texts) {
        namespace websocket = boost::beast::websocket;
        using tcp = boost::asio::ip::tcp;
        boost::asio::io_context context;
        websocket::stream<tcp::socket> socket(context);
        socket.next_layer().connect({boost::asio::ip::make_address("127.0.0.1"), engine->port()});
        socket.set_option(websocket::stream_base::decorator(
            [](websocket::request_type& request) { request.set(StandInEngine::kTokenHeader, std::string(kToken)); }));
        socket.handshake("127.0.0.1", std::string(StandInEngine::kEventsPath));
        for (const auto& text : texts) socket.write(boost::asio::buffer(text));
        ASSERT_TRUE(engine->waitForSocketFrames(texts.size(), 10s));
        socket.close(websocket::close_code::normal);
    }

    // What a GET of `target` (a path below the engine, query and all) got.
    struct Reply {
        bool isHTTP = false;
        unsigned status = 0;
        std::string body;
    };

    Reply get(std::string_view target, std::optional<std::string> token = std::string(kToken)) {
        CoreHTTPRequest request;
        request.url = *URL::parseServer(engine->baseURL() + "/" + std::string(target));
        request.method = "GET";
        if (token) request.headers.emplace_back(std::string(StandInEngine::kTokenHeader), *token);
        request.exchangeTimeout = 5s;
        std::promise<Result<CoreHTTPResponse>> reply;
        transport.sendHTTP(request, [&](Result<CoreHTTPResponse> result) { reply.set_value(std::move(result)); });
        const auto result = reply.get_future().get();
        if (!result) return {};
        return {true, static_cast<unsigned>(result->status), result->body.value_or("")};
    }

    BeastCoreTransport transport;
    std::optional<StandInEngine> engine;
};

TEST_F(StandInEngineTest, EveryRequestNeedsTheDesktopToken) {
    for (auto token : {std::optional<std::string>(), std::optional<std::string>("wrong"),
                       std::optional<std::string>(std::string(kToken) + "x")}) {
        auto reply = get("api/health", token);
        EXPECT_TRUE(reply.isHTTP);
        EXPECT_EQ(reply.status, 401u);
    }
    EXPECT_EQ(get("api/health").status, 200u);
    auto requests = engine->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_FALSE(requests[0].authorized);
    EXPECT_TRUE(requests[3].authorized);
    EXPECT_EQ(requests[3].header("x-murmo-desktop-token"), kToken);
}

TEST_F(StandInEngineTest, HealthFollowsReadinessAndRepliesCanBeScriptedPerPath) {
    std::promise<void> firstReady;
    engine->onFirstReadyReply([&] { firstReady.set_value(); });
    engine->setReady(false);
    auto notReady = get("api/health");
    EXPECT_EQ(notReady.status, 503u);
    EXPECT_EQ(notReady.body, StandInEngine::notReadyHealthReply().body);

    engine->setReady(true);
    auto ready = get("api/health");
    EXPECT_EQ(ready.status, 200u);
    EXPECT_EQ(ready.body, R"({"ok":true,"protocol_version":1,"desktop_hosted":true})");
    EXPECT_EQ(firstReady.get_future().wait_for(5s), std::future_status::ready);

    EXPECT_EQ(get("api/v1/unknown").status, 404u);
    EXPECT_EQ(get("api/settings").body, standInDefaultSettings());
    engine->setReply("GET", "/api/settings", StandInReply{200, R"({"shortcut":null})"});
    auto scripted = get("api/settings?x=1");
    EXPECT_EQ(scripted.status, 200u);
    EXPECT_EQ(scripted.body, R"({"shortcut":null})");
    EXPECT_EQ(engine->requestCount("/api/settings"), 2u);
}

TEST_F(StandInEngineTest, KeepsOnlyTheMostRecentRecordsAndCountsTheRest) {
    start(3);

    for (int i = 0; i < 4; ++i) get("api/health");
    get("api/settings");
    const auto requests = engine->requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/api/health");
    EXPECT_EQ(requests[2].path, "/api/settings");
    EXPECT_EQ(engine->requestCount("/api/health"), 4u);
    EXPECT_EQ(engine->requestCount("/api/settings"), 1u);

    sendFrames({"f0", "f1", "f2", "f3", "f4"});
    const auto frames = engine->socketFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].bytes, "f2");
    EXPECT_EQ(frames[2].bytes, "f4");
    EXPECT_EQ(engine->socketFrameCount(), 5u);
    EXPECT_EQ(engine->requestCount(StandInEngine::kEventsPath), 1u);
    EXPECT_EQ(engine->requests().back().path, StandInEngine::kEventsPath);
}

}  // namespace
}  // namespace murmo
