// The real timing of the synchronous cancel (tests check its wait exactly, in
// virtual time): against an engine that never answers it should return at its
// 0.8 s time-out, and against one that answers in 50 ms soon after the reply.
// Prints each against its floor: sleeping for the time-out, and a bare
// blocking Beast request to the same 50 ms reply.

#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <chrono>
#include <cstdio>
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

constexpr std::string_view kToken = "bench-token";
constexpr Duration kTimeout = 800ms;
constexpr auto kReplyDelay = 50ms;

class CancelFixture {
public:
    CancelFixture() {
        engine.setReply("POST", "/api/v1/dictations/silent/cancel", StandInReply::hanging());
        engine.setReply("POST", "/api/v1/dictations/answered/cancel", StandInReply{200, "{}"}.after(kReplyDelay));
        started = engine.start().has_value();
        client = MurmoCoreClient::create(
            engine.baseURL(), std::string(kToken),
            {loop, std::make_shared<BeastCoreTransport>(), std::make_shared<RecordingLogSink>()});
    }

    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    bool started = false;
    ManualLoop loop;
    std::shared_ptr<MurmoCoreClient> client;
};

void BM_CancelAgainstASilentEngine(benchmark::State& state) {
    CancelFixture fixture;
    if (!fixture.started) return state.SkipWithError("engine did not start");
    for (auto _ : state) fixture.client->cancelDictationSynchronously("silent", kTimeout);
}
BENCHMARK(BM_CancelAgainstASilentEngine)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_SleepForTheTimeout(benchmark::State& state) {
    for (auto _ : state) std::this_thread::sleep_for(kTimeout);
}
BENCHMARK(BM_SleepForTheTimeout)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_CancelAnsweredIn50ms(benchmark::State& state) {
    CancelFixture fixture;
    if (!fixture.started) return state.SkipWithError("engine did not start");
    for (auto _ : state) fixture.client->cancelDictationSynchronously("answered", kTimeout);
}
BENCHMARK(BM_CancelAnsweredIn50ms)->Iterations(40)->Unit(benchmark::kMillisecond);

void BM_BareRequestAnsweredIn50ms(benchmark::State& state) {
    namespace beast = boost::beast;
    namespace http = beast::http;
    using tcp = boost::asio::ip::tcp;
    CancelFixture fixture;
    if (!fixture.started) return state.SkipWithError("engine did not start");
    boost::asio::io_context context;
    const tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), fixture.engine.port());
    for (auto _ : state) {
        beast::error_code error;
        tcp::socket socket(context);
        socket.connect(endpoint, error);
        http::request<http::string_body> request{http::verb::post, "/api/v1/dictations/answered/cancel", 11};
        request.set(http::field::host, "127.0.0.1:" + std::to_string(endpoint.port()));
        request.set("X-Murmo-Desktop-Token", std::string(kToken));
        request.prepare_payload();
        if (!error) http::write(socket, request, error);
        beast::flat_buffer buffer;
        http::response<http::string_body> response;
        if (!error) http::read(socket, buffer, response, error);
        if (error) return state.SkipWithError("request failed");
        socket.shutdown(tcp::socket::shutdown_both, error);
    }
}
BENCHMARK(BM_BareRequestAnsweredIn50ms)->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_CancelAgainstASilentEngine", "BM_SleepForTheTimeout")) {
            std::printf("synchronous cancel against a silent engine / its %.1f s time-out: %.3fx\n",
                        Seconds(kTimeout).count(), *ratio);
        }
        if (auto ratio = reporter.ratio("BM_CancelAnsweredIn50ms", "BM_BareRequestAnsweredIn50ms")) {
            std::printf("synchronous cancel answered in 50 ms / bare request to the same reply: %.3fx\n", *ratio);
        }
    });
}
