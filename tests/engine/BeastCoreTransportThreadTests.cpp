#include "engine/BeastCoreTransport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <set>
#include <mutex>
#include <thread>

#include "stand-in-engine/StandInEngine.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

constexpr std::string_view kToken = "thread-token";

// Collects completions from the transport's thread.
class Outcomes {
public:
    void add(std::string outcome) {
        {
            std::lock_guard lock(mutex_);
            outcomes_.push_back(std::move(outcome));
            threads_.insert(std::this_thread::get_id());
        }
        changed_.notify_all();
    }
    bool waitFor(std::size_t count, Duration timeout = 10s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return outcomes_.size() >= count; });
    }
    std::vector<std::string> outcomes() const {
        std::lock_guard lock(mutex_);
        return outcomes_;
    }
    std::set<std::thread::id> threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> outcomes_;
    std::set<std::thread::id> threads_;
};

class BeastCoreTransportThreadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.start()); }

    CoreHTTPRequest request(std::string_view path, std::string method = "GET") {
        CoreHTTPRequest request;
        request.url = URL::parseServer(engine.baseURL())->appending(URLPath::literal(path));
        request.method = std::move(method);
        request.headers.emplace_back("X-Murmo-Desktop-Token", std::string(kToken));
        return request;
    }

    CoreWebSocketRequest socketRequest() {
        CoreWebSocketRequest request;
        request.url = URL::parseServer(engine.baseURL())->appending(URLPath::literal("ws/events")).withScheme("ws");
        request.headers.emplace_back("X-Murmo-Desktop-Token", std::string(kToken));
        return request;
    }

    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
};

TEST_F(BeastCoreTransportThreadTest, RequestsAndSocketTrafficCompleteOnTheTransportsOwnThread) {
    auto transport = std::make_unique<BeastCoreTransport>();
    Outcomes replies;
    constexpr int kRequests = 40;
    for (int i = 0; i < kRequests; ++i) {
        transport->sendHTTP(request("api/settings"), [&](Result<CoreHTTPResponse> reply) {
            replies.add(reply ? std::to_string(reply->status) : reply.error().message);
        });
    }

    auto socket = transport->openWebSocket(socketRequest());
    Outcomes sends;
    constexpr int kFrames = 200;
    for (int i = 0; i < kFrames; ++i) {
        socket->send(CoreSocketMessage::binary(std::vector<std::uint8_t>(7680, static_cast<std::uint8_t>(i))),
                     [&](Status status) { sends.add(status ? "ok" : status.error().message); });
    }
    Outcomes received;
    socket->receive([&](Result<CoreSocketMessage> message) {
        received.add(message ? std::string(message->view()) : message.error().message);
    });

    ASSERT_TRUE(replies.waitFor(kRequests));
    ASSERT_TRUE(sends.waitFor(kFrames));
    ASSERT_TRUE(received.waitFor(1));
    EXPECT_EQ(replies.outcomes(), std::vector<std::string>(kRequests, "200"));
    EXPECT_EQ(sends.outcomes(), std::vector<std::string>(kFrames, "ok"));
    EXPECT_NE(received.outcomes()[0].find("runtime_status"), std::string::npos);
    ASSERT_EQ(replies.threads().size(), 1u);
    EXPECT_EQ(replies.threads(), sends.threads()) << "one I/O thread serves everything";
    EXPECT_FALSE(replies.threads().contains(std::this_thread::get_id()));

    ASSERT_TRUE(engine.waitForSocketFrames(kFrames, 10s));
    const auto frames = engine.socketFrames();
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(static_cast<std::uint8_t>(frames[static_cast<std::size_t>(i)].bytes[0]), static_cast<std::uint8_t>(i))
            << "frames leave in call order";
    }
    socket->close(1001);
}

TEST_F(BeastCoreTransportThreadTest, DestroyingTheTransportEndsWhatIsStillRunningOnce) {
    engine.setReply("GET", "/api/settings", StandInReply::hanging());
    auto transport = std::make_unique<BeastCoreTransport>();
    Outcomes outcomes;
    transport->sendHTTP(request("api/settings"), [&](Result<CoreHTTPResponse> reply) {
        outcomes.add(reply ? "reply" : *reply.error().reason);
    });
    auto socket = transport->openWebSocket(socketRequest());
    std::atomic<int> receives{0};
    // The greeting, then a receive that waits until the transport goes away.
    std::function<void(Result<CoreSocketMessage>)> onMessage;
    onMessage = [&](Result<CoreSocketMessage> message) {
        ++receives;
        if (message) {
            socket->receive(onMessage);
        } else {
            outcomes.add("socket " + *message.error().reason);
        }
    };
    socket->receive(onMessage);
    for (int i = 0; i < 200 && (engine.requestCount("/api/settings") == 0 || receives.load() == 0); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(engine.requestCount("/api/settings"), 1u);
    transport.reset();
    auto results = outcomes.outcomes();
    std::ranges::sort(results);
    EXPECT_EQ(results, (std::vector<std::string>{"cancelled", "socket cancelled"}));
    socket.reset();
}

}  // namespace
}  // namespace murmo
