// One settings request through the client (request building, the transport
// thread, reply classification, delivery on the main loop and decoding)
// against a bare Beast request to the same stand-in engine. Both open a
// connection per request, as the transport does. Prints client/bare.

#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <cstdio>
#include <map>
#include <string>

#include "engine/BeastCoreTransport.h"
#include "engine/MurmoCoreClient.h"
#include "runtime/ManualLoop.h"
#include "stand-in-engine/StandInEngine.h"
#include "support/RatioReporter.h"

namespace {

using namespace murmo;
using namespace std::chrono_literals;


constexpr std::string_view kToken = "bench-token";

void BM_ClientSettingsRoundTrip(benchmark::State& state) {
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    if (!engine.start()) return state.SkipWithError("engine did not start");
    ManualLoop loop;
    auto client = MurmoCoreClient::create(engine.baseURL(), std::string(kToken),
                                          {loop, std::make_shared<BeastCoreTransport>(),
                                           std::make_shared<RecordingLogSink>()});
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

void BM_BareBeastRequest(benchmark::State& state) {
    namespace beast = boost::beast;
    namespace http = beast::http;
    using tcp = boost::asio::ip::tcp;
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    if (!engine.start()) return state.SkipWithError("engine did not start");
    boost::asio::io_context context;
    tcp::resolver resolver(context);
    const auto host = "127.0.0.1:" + std::to_string(engine.port());
    for (auto _ : state) {
        beast::error_code error;
        tcp::socket socket(context);
        boost::asio::connect(socket, resolver.resolve("127.0.0.1", std::to_string(engine.port())), error);
        http::request<http::string_body> request{http::verb::get, "/api/settings", 11};
        request.set(http::field::host, host);
        request.set(http::field::content_type, "application/json");
        request.set("X-Murmo-Desktop-Token", std::string(kToken));
        request.prepare_payload();
        if (!error) http::write(socket, request, error);
        beast::flat_buffer buffer;
        http::response<http::string_body> response;
        if (!error) http::read(socket, buffer, response, error);
        if (error || response.result_int() != 200) return state.SkipWithError("request failed");
        benchmark::DoNotOptimize(response.body().data());
        socket.shutdown(tcp::socket::shutdown_both, error);
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
