// Cost of one 40 ms audio chunk (48 kHz mono float32, 7,680 bytes) from its
// post on a capture thread to its arrival at the engine, through the client
// (main loop, send queue, transport thread), against a bare Beast WebSocket
// write of the same frame to the same stand-in engine. Prints client/bare.
//
// Chunks are spaced as capture spaces them, so the catch-up pause after each
// frame (20 ms at this size) is over before the next one: the timing is the
// steady state, one chunk at a time.

#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>
#include <cstdio>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/BeastCoreTransport.h"
#include "engine/MurmoCoreClient.h"
#include "runtime/ThreadLoop.h"
#include "stand-in-engine/StandInEngine.h"
#include "support/RatioReporter.h"

namespace {

using namespace murmo;
using namespace std::chrono_literals;

using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kToken = "bench-token";
constexpr std::size_t kChunkBytes = 7680;
constexpr std::int64_t kSampleRate = 48000;
constexpr auto kCaptureGap = 25ms;
constexpr int kIterations = 200;

std::vector<std::uint8_t> chunk() { return std::vector<std::uint8_t>(kChunkBytes, 0x3F); }

// The application's main thread: a ThreadLoop that owns the client.
class ClientThread {
public:
    explicit ClientThread(const StandInEngine& engine) {
        std::promise<ThreadLoop*> started;
        thread_ = std::thread([&] {
            ThreadLoop loop;
            client_ = MurmoCoreClient::create(engine.baseURL(), std::string(kToken),
                                              {loop, std::make_shared<BeastCoreTransport>(),
                                               std::make_shared<RecordingLogSink>()});
            client_->connect();
            client_->beginNativeAudio("bench-operation", kSampleRate);
            started.set_value(&loop);
            loop.run();
            client_->disconnect();
            client_.reset();
        });
        loop_ = started.get_future().get();
    }
    ~ClientThread() {
        loop_->post([loop = loop_] { loop->quit(); });
        thread_.join();
    }

    // Called on the capture (benchmark) thread, as the capture's chunk
    // callback hands a chunk to the main queue.
    void post(std::vector<std::uint8_t> bytes) {
        loop_->post([this, bytes = std::move(bytes)]() mutable { client_->sendNativeAudio(std::move(bytes)); });
    }

private:
    std::thread thread_;
    ThreadLoop* loop_ = nullptr;
    std::shared_ptr<MurmoCoreClient> client_;
};

void BM_ClientAudioChunk(benchmark::State& state) {
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    if (!engine.start()) return state.SkipWithError("engine did not start");
    ClientThread client(engine);
    if (!engine.waitForSocketFrames(1, 10s)) return state.SkipWithError("no begin frame");
    std::size_t expected = 1;
    for (auto _ : state) {
        std::this_thread::sleep_for(kCaptureGap);
        const auto started = SteadyClock::now();
        client.post(chunk());
        if (!engine.waitForSocketFrames(++expected, 10s)) return state.SkipWithError("frame lost");
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - started).count());
    }
}
BENCHMARK(BM_ClientAudioChunk)->UseManualTime()->Iterations(kIterations)->Unit(benchmark::kMicrosecond);

void BM_BareBeastWrite(benchmark::State& state) {
    namespace beast = boost::beast;
    namespace websocket = beast::websocket;
    using tcp = boost::asio::ip::tcp;
    StandInEngine engine{StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)}};
    if (!engine.start()) return state.SkipWithError("engine did not start");
    boost::asio::io_context context;
    websocket::stream<tcp::socket> socket(context);
    beast::error_code error;
    tcp::resolver resolver(context);
    boost::asio::connect(socket.next_layer(), resolver.resolve("127.0.0.1", std::to_string(engine.port())), error);
    if (!error) socket.next_layer().set_option(tcp::no_delay(true), error);
    socket.set_option(websocket::stream_base::decorator(
        [](websocket::request_type& request) { request.set("X-Murmo-Desktop-Token", std::string(kToken)); }));
    if (!error) socket.handshake("127.0.0.1:" + std::to_string(engine.port()), "/ws/events", error);
    if (error) return state.SkipWithError("handshake failed");
    socket.binary(true);
    const auto bytes = chunk();
    std::size_t expected = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(kCaptureGap);
        const auto started = SteadyClock::now();
        socket.write(boost::asio::buffer(bytes), error);
        if (error || !engine.waitForSocketFrames(++expected, 10s)) return state.SkipWithError("write failed");
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - started).count());
    }
    socket.close(websocket::close_code::going_away, error);
}
BENCHMARK(BM_BareBeastWrite)->UseManualTime()->Iterations(kIterations)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_ClientAudioChunk", "BM_BareBeastWrite")) {
            std::printf("client / bare Beast time per %zu-byte chunk, post to engine: %.2fx\n", kChunkBytes, *ratio);
        }
    });
}
