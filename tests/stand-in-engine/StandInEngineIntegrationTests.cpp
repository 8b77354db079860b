#include "stand-in-engine/StandInEngine.h"
#include "stand-in-engine/StandInRoutes.h"

#include <gtest/gtest.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <cstdint>
#include <future>
#include <limits>
#include <memory>
#include <optional>

#include "engine/BeastCoreTransport.h"
#include "engine/CoreWireTypes.h"

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

    // What a request for `target` (a path below the engine, query and all)
    // got.
    struct Reply {
        bool isHTTP = false;
        unsigned status = 0;
        std::string body;
    };

    // Sends without waiting for the reply. No exchange time-out: a reply
    // held by the engine arrives when the test releases it.
    std::future<Reply> send(std::string method, std::string_view target, std::optional<std::string> body = {},
                            std::optional<std::string> token = std::string(kToken)) {
        CoreHTTPRequest request;
        request.url = *URL::parseServer(engine->baseURL() + "/" + std::string(target));
        request.method = std::move(method);
        request.body = std::move(body);
        if (token) request.headers.emplace_back(std::string(StandInEngine::kTokenHeader), *token);
        auto reply = std::make_shared<std::promise<Reply>>();
        auto future = reply->get_future();
        transport.sendHTTP(request, [reply](Result<CoreHTTPResponse> result) {
            Reply given;
            if (result) given = {true, static_cast<unsigned>(result->status), result->body.value_or("")};
            reply->set_value(std::move(given));
        });
        return future;
    }

    static Reply await(std::future<Reply>& reply) {
        if (reply.wait_for(10s) != std::future_status::ready) {
            ADD_FAILURE() << "no reply";
            return {};
        }
        return reply.get();
    }

    Reply get(std::string_view target, std::optional<std::string> token = std::string(kToken)) {
        auto reply = send("GET", target, std::nullopt, std::move(token));
        return await(reply);
    }

    Reply post(std::string_view target) {
        auto reply = send("POST", target);
        return await(reply);
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

TEST_F(StandInEngineTest, ServesTheDashboardPageToTheDesktopOnly) {
    const auto page = get("workspace?surface=x");
    EXPECT_EQ(page.status, 200u);
    EXPECT_NE(page.body.find("stand-in engine"), std::string::npos) << page.body;
    EXPECT_EQ(page.body.find("<script"), std::string::npos) << "the page runs no script";
    StandInRequest pageRequest;
    pageRequest.method = "GET";
    pageRequest.path = "/workspace";
    const auto builtIn = standInDefaultReply(pageRequest);
    ASSERT_TRUE(builtIn);
    EXPECT_EQ(builtIn->contentType, "text/html; charset=utf-8");

    for (auto token : {std::optional<std::string>(), std::optional<std::string>("wrong")}) {
        const auto refused = get("workspace", token);
        EXPECT_EQ(refused.status, 401u);
        EXPECT_EQ(refused.body, R"({"detail":"missing or invalid desktop token"})");
    }
    EXPECT_EQ(post("workspace").status, 404u);
    EXPECT_EQ(get("workspace/more").status, 404u);
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

TEST_F(StandInEngineTest, HandlerPathsMayHoldSegmentsThatMatchAnyOneSegment) {
    constexpr std::string_view kNotFound = R"({"detail":"Not Found"})";
    engine->setReply("POST", "/api/v1/dictations/exact/release", StandInReply{200, "exact"});
    engine->setReply("POST", "/api/v1/dictations/*/release", StandInReply{200, "pattern"});
    engine->setReply("GET", "/api/v1/dictations/*/release", StandInReply{200, "get"});

    struct Case {
        std::string_view target;
        std::string_view body;
    };
    for (const auto& [target, body] : {
             Case{"api/v1/dictations/op-1/release", "pattern"},
             Case{"api/v1/dictations/op%2F1/release", "pattern"},
             Case{"api/v1/dictations/exact/release?x=1", "exact"},
             Case{"api/v1/dictations/release", kNotFound},
             Case{"api/v1/dictations/a/b/release", kNotFound},
             Case{"api/v1/dictations//release", kNotFound},
         }) {
        EXPECT_EQ(post(target).body, body) << target;
    }
    EXPECT_EQ(get("api/v1/dictations/op-1/release").body, "get");

    engine->setReply("POST", "/api/v1/*/*/release", StandInReply{200, "later"});
    EXPECT_EQ(post("api/v1/dictations/op-1/release").body, "later") << "the pattern set last wins";
    EXPECT_EQ(post("api/v1/dictations/exact/release").body, "exact") << "an exact path wins over every pattern";

    engine->removeHandler("POST", "/api/v1/*/*/release");
    EXPECT_EQ(post("api/v1/dictations/op-1/release").body, "pattern");
    engine->removeHandler("POST", "/api/v1/dictations/*/release");
    EXPECT_EQ(post("api/v1/dictations/op-1/release").body, R"({"operation_id":"op-1","phase":"processing"})")
        << "the built-in reply again";
    EXPECT_EQ(get("api/v1/dictations/op-1/release").body, "get");
}

TEST_F(StandInEngineTest, HeldRequestsWaitForTheReplyTheTestReleases) {
    engine->setReply("POST", "/api/v1/dictations/*/release", StandInReply::held());
    std::vector<std::future<Reply>> replies;
    for (std::size_t i = 1; i <= 3; ++i) {
        replies.push_back(
            send("POST", "api/v1/dictations/op-" + std::to_string(i) + "/release", "body " + std::to_string(i)));
        ASSERT_TRUE(engine->waitForHeldRequests(i, 10s));
    }
    const auto held = engine->heldRequests();
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held[0].path, "/api/v1/dictations/op-1/release");
    EXPECT_EQ(held[0].body, "body 1");
    EXPECT_EQ(held[2].path, "/api/v1/dictations/op-3/release");
    EXPECT_EQ(engine->requestCount("/api/v1/dictations/op-1/release"), 1u) << "recorded like any request";
    EXPECT_FALSE(engine->releaseHeldReply("/api/v1/dictations/op-9/release", StandInReply{}));
    EXPECT_FALSE(engine->releaseHeldReply("/api/v1/dictations/*/cancel", StandInReply{}));

    ASSERT_TRUE(engine->releaseHeldReply("/api/v1/dictations/op-2/release", StandInReply{202, "second"}));
    const auto second = await(replies[1]);
    EXPECT_EQ(second.status, 202u);
    EXPECT_EQ(second.body, "second");
    EXPECT_EQ(replies[0].wait_for(0s), std::future_status::timeout) << "the others stay held";

    ASSERT_TRUE(engine->releaseHeldReply("/api/v1/dictations/*/release", StandInReply{503, "first"}.after(10ms)));
    const auto first = await(replies[0]);
    EXPECT_EQ(first.status, 503u) << "a pattern releases the oldest it matches";
    EXPECT_EQ(first.body, "first");

    ASSERT_TRUE(engine->releaseHeldReply("/api/v1/dictations/*/release", StandInReply::closingWithoutReply()));
    EXPECT_FALSE(await(replies[2]).isHTTP);
    EXPECT_TRUE(engine->heldRequests().empty());
    EXPECT_FALSE(engine->releaseHeldReply("/api/v1/dictations/*/release", StandInReply{}));
}

TEST_F(StandInEngineTest, StoppingClosesTheConnectionsOfHeldRequests) {
    engine->setReply("GET", "/api/settings", StandInReply::held());
    auto reply = send("GET", "api/settings");
    ASSERT_TRUE(engine->waitForHeldRequests(1, 10s));
    engine->stop();
    EXPECT_FALSE(await(reply).isHTTP);
    EXPECT_TRUE(engine->heldRequests().empty());
    EXPECT_FALSE(engine->releaseHeldReply("/api/settings", StandInReply{}));
}

TEST_F(StandInEngineTest, PushedEventsCarryTheEngineTimeAsTheClientReadsIt) {
    CoreWebSocketRequest request;
    request.url =
        *URL::parseServer("ws://127.0.0.1:" + std::to_string(engine->port()) + std::string(StandInEngine::kEventsPath));
    request.headers.emplace_back(std::string(StandInEngine::kTokenHeader), std::string(kToken));
    const auto socket = transport.openWebSocket(request);
    const auto receive = [&]() -> Result<CoreEvent> {
        auto message = std::make_shared<std::promise<std::string>>();
        auto text = message->get_future();
        socket->receive([message](Result<CoreSocketMessage> received) {
            message->set_value(received ? std::string(received->view()) : std::string());
        });
        if (text.wait_for(10s) != std::future_status::ready) return fail("test", 1, "no event");
        return CoreEvent::decode(text.get());
    };
    // Once the first event arrived, the socket takes pushed events.
    ASSERT_EQ(receive().value_or(CoreEvent{}).type, "runtime_status");

    constexpr auto kLatest = std::numeric_limits<std::uint64_t>::max();
    engine->pushEvent({.type = "final_text",
                       .dataJSON = R"({"text":"hello"})",
                       .operationID = "op-1",
                       .monotonicNanoseconds = kLatest});
    engine->pushEvent("status");

    const auto timed = receive();
    ASSERT_TRUE(timed) << timed.error().message;
    EXPECT_EQ(timed->type, "final_text");
    EXPECT_EQ(timed->sequence, 2);
    EXPECT_EQ(timed->qos, "reliable");
    EXPECT_EQ(timed->operationID, "op-1");
    EXPECT_EQ(timed->monotonicNanoseconds, kLatest);
    EXPECT_EQ(*timed->data.at("text").string(), "hello");

    const auto untimed = receive();
    ASSERT_TRUE(untimed) << untimed.error().message;
    EXPECT_EQ(untimed->type, "status");
    EXPECT_EQ(untimed->sequence, 3);
    EXPECT_EQ(untimed->operationID, std::nullopt);
    EXPECT_EQ(untimed->monotonicNanoseconds, std::nullopt);
    socket->close(1000);
}

}  // namespace
}  // namespace murmo
