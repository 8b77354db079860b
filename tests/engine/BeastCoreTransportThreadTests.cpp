#include "engine/BeastCoreTransport.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "stand-in-engine/StandInEngine.h"

using namespace std::chrono_literals;

namespace murmo {
namespace {

constexpr std::string_view kToken = "thread-token";

// Collects completions from the transport's thread.
class Outcomes {
public:
    // Notifies under the lock: a test may destroy the collection as soon as
    // its wait ends, while the transport's thread would still be inside
    // notify_all() had it let go of the lock first.
    void add(std::string outcome) {
        std::lock_guard lock(mutex_);
        outcomes_.push_back(std::move(outcome));
        threads_.insert(std::this_thread::get_id());
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

// A peer that starts a reply and then sends one more header line every
// 50 ms for up to five seconds: always progressing, never done.
class TricklingPeer {
public:
    TricklingPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serveOne(); });
    }
    ~TricklingPeer() {
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }
    TricklingPeer(const TricklingPeer&) = delete;
    TricklingPeer& operator=(const TricklingPeer&) = delete;

    std::uint16_t port() const { return port_; }

private:
    void serveOne() {
        pollfd ready{listener_, POLLIN, 0};
        if (::poll(&ready, 1, 5000) != 1) return;
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        char request[1024];
        [[maybe_unused]] const auto read = ::recv(client, request, sizeof request, 0);
        std::string_view line = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i < 100 && ::send(client, line.data(), line.size(), MSG_NOSIGNAL) > 0; ++i) {
            line = "X-Trickle: 1\r\n";
            std::this_thread::sleep_for(50ms);
        }
        ::close(client);
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

TEST(BeastCoreTransportDeadlineThreadTest, TheExchangeDeadlineEndsAReplyThatKeepsProgressing) {
    TricklingPeer peer;
    ASSERT_NE(peer.port(), 0);
    CoreHTTPRequest request;
    request.url = *URL::parseServer("http://127.0.0.1:" + std::to_string(peer.port()) + "/api/health");
    request.method = "GET";
    request.idleTimeout = 10s;
    request.exchangeTimeout = 300ms;
    Outcomes outcomes;  // outlives the transport's thread
    BeastCoreTransport transport;
    transport.sendHTTP(request,
                       [&](Result<CoreHTTPResponse> reply) { outcomes.add(reply ? "reply" : *reply.error().reason); });
    ASSERT_TRUE(outcomes.waitFor(1));
    EXPECT_EQ(outcomes.outcomes(), std::vector<std::string>{"timed_out"})
        << "without the deadline the peer's five seconds end as a lost connection";
}

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

TEST_F(BeastCoreTransportThreadTest, AHostNameIsLookedUpBeforeEitherKindOfConnection) {
    // "localhost" may resolve to ::1 first; the engine listens on IPv4 only,
    // so this also shows each resolved address being tried in turn.
    const auto byName = [](const URL& url) {
        auto text = url.text();
        text.replace(text.find("127.0.0.1"), 9, "localhost");
        return *URL::parseServer(text);
    };
    auto http = request("api/settings");
    http.url = byName(http.url);
    auto events = socketRequest();
    events.url = byName(events.url);
    ASSERT_EQ(http.url.host(), "localhost");

    BeastCoreTransport transport;
    Outcomes outcomes;
    transport.sendHTTP(http, [&](Result<CoreHTTPResponse> reply) {
        outcomes.add(reply ? std::to_string(reply->status) : reply.error().message);
    });
    auto socket = transport.openWebSocket(events);
    socket->receive(
        [&](Result<CoreSocketMessage> message) { outcomes.add(message ? "greeting" : message.error().message); });
    ASSERT_TRUE(outcomes.waitFor(2));
    auto results = outcomes.outcomes();
    std::ranges::sort(results);
    EXPECT_EQ(results, (std::vector<std::string>{"200", "greeting"}));
    socket->close(1001);
}

TEST_F(BeastCoreTransportThreadTest, DestroyingTheTransportEndsWhatIsStillRunningOnce) {
    engine.setReply("GET", "/api/settings", StandInReply::hanging());
    auto transport = std::make_unique<BeastCoreTransport>();
    Outcomes outcomes;
    transport->sendHTTP(request("api/settings"),
                        [&](Result<CoreHTTPResponse> reply) { outcomes.add(reply ? "reply" : *reply.error().reason); });
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
