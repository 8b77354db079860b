// One settings request through the client (request building, the transport
// thread, reply classification, delivery on the main loop and decoding)
// against the floor: a bare async Beast request on an I/O thread, its reply
// posted back to the caller's loop and decoded as the same type. Both open a
// connection per request, as the transport does. Prints client/bare.

#include <benchmark/benchmark.h>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "engine/BeastCoreTransport.h"
#include "engine/MurmoCoreClient.h"
#include "platform/sim/RecordingLogSink.h"
#include "runtime/ManualLoop.h"
#include "stand-in-engine/StandInEngine.h"
#include "support/RatioReporter.h"

namespace {

using namespace murmo;
using namespace std::chrono_literals;
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr std::string_view kToken = "bench-token";

void BM_ClientSettingsRoundTrip(benchmark::State& state) {
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    if (!engine.start()) return state.SkipWithError("engine did not start");
    ManualLoop loop;
    auto client =
        MurmoCoreClient::create(engine.baseURL(), std::string(kToken),
                                {loop, std::make_shared<BeastCoreTransport>(), std::make_shared<RecordingLogSink>()});
    for (auto _ : state) {
        bool done = false;
        bool decoded = false;
        client->fetchShortcutSettings([&](Result<ShortcutSettingsResponse> reply) {
            done = true;
            decoded = reply.has_value();
        });
        if (!loop.pumpUntil([&] { return done; }, 10s) || !decoded) return state.SkipWithError("no settings");
    }
}
BENCHMARK(BM_ClientSettingsRoundTrip)->Unit(benchmark::kMicrosecond);

// The floor: the same request made with bare async Beast calls on an I/O
// thread of its own, a connection per request, the reply posted back to the
// caller's loop and decoded there as the same type.
class BareRequestThread {
public:
    explicit BareRequestThread(std::uint16_t port) : endpoint_(asio::ip::make_address("127.0.0.1"), port) {
        thread_ = std::thread([this] { context_.run(); });
    }
    ~BareRequestThread() {
        work_.reset();
        thread_.join();
    }

    // Any thread; `done` runs on the I/O thread with the body, or nothing on
    // failure.
    void get(std::function<void(std::optional<std::string>)> done) {
        asio::post(context_, [this, done = std::move(done)]() mutable {
            auto exchange = std::make_shared<Exchange>(context_, std::move(done));
            exchange->request.set(http::field::host, "127.0.0.1:" + std::to_string(endpoint_.port()));
            exchange->request.set(http::field::content_type, "application/json");
            exchange->request.set("X-Murmo-Desktop-Token", std::string(kToken));
            exchange->request.prepare_payload();
            exchange->socket.async_connect(endpoint_, [exchange](const beast::error_code& error) {
                if (error) return exchange->done(std::nullopt);
                beast::error_code ignored;
                exchange->socket.set_option(tcp::no_delay(true), ignored);
                http::async_write(
                    exchange->socket, exchange->request, [exchange](const beast::error_code& writeError, std::size_t) {
                        if (writeError) return exchange->done(std::nullopt);
                        http::async_read(exchange->socket, exchange->buffer, exchange->response,
                                         [exchange](const beast::error_code& readError, std::size_t) {
                                             beast::error_code ignored;
                                             exchange->socket.shutdown(tcp::socket::shutdown_both, ignored);
                                             if (readError) return exchange->done(std::nullopt);
                                             exchange->done(std::move(exchange->response.body()));
                                         });
                    });
            });
        });
    }

private:
    struct Exchange {
        Exchange(asio::io_context& context, std::function<void(std::optional<std::string>)> done)
            : socket(context), done(std::move(done)) {}
        tcp::socket socket;
        std::function<void(std::optional<std::string>)> done;
        http::request<http::string_body> request{http::verb::get, "/api/settings", 11};
        beast::flat_buffer buffer;
        http::response<http::string_body> response;
    };

    asio::io_context context_{1};
    asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(context_);
    tcp::endpoint endpoint_;
    std::thread thread_;
};

void BM_BareBeastRequest(benchmark::State& state) {
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    if (!engine.start()) return state.SkipWithError("engine did not start");
    ManualLoop loop;
    BareRequestThread io(engine.port());
    for (auto _ : state) {
        bool done = false;
        bool decoded = false;
        io.get([&](std::optional<std::string> body) {
            loop.post([&, body = std::move(body)] {
                done = true;
                decoded = body && ShortcutSettingsResponse::decode(*body).has_value();
            });
        });
        if (!loop.pumpUntil([&] { return done; }, 10s) || !decoded) return state.SkipWithError("no settings");
    }
}
BENCHMARK(BM_BareBeastRequest)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_ClientSettingsRoundTrip", "BM_BareBeastRequest")) {
            std::printf("client / bare Beast time per settings round trip: %.2fx\n", *ratio);
        }
    });
}
