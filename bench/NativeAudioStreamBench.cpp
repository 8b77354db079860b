// Cost of one 40 ms audio chunk (48 kHz mono float32, 7,680 bytes) from its
// post on a capture thread to its arrival at the engine, through the client
// (main loop, send queue, transport thread), against the floor this design
// allows, measured in the same run against the same stand-in engine:
// - two hand-offs: the capture thread posts to a main loop, which posts to an
//   I/O thread doing a bare Beast async_write;
// - one hand-off: the capture thread posts straight to that I/O thread.
// Prints client/floor for both.
//
// Each reported time is a path's median chunk, the paths taking turns (see
// medianChunkTimes). Chunks are spaced as capture spaces them, so the catch-up pause after each
// frame (20 ms at this size) is over before the next one: the timing is the
// steady state, one chunk at a time.

#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/BeastCoreTransport.h"
#include "engine/MurmoCoreClient.h"
#include "platform/sim/RecordingLogSink.h"
#include "runtime/ThreadLoop.h"
#include "stand-in-engine/StandInEngine.h"
#include "support/RatioReporter.h"

namespace {

using namespace murmo;
using namespace std::chrono_literals;

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using SteadyClock = std::chrono::steady_clock;
using Chunk = std::vector<std::uint8_t>;

constexpr std::string_view kToken = "bench-token";
constexpr std::size_t kChunkBytes = 7680;
constexpr std::int64_t kSampleRate = 48000;
constexpr auto kCaptureGap = 25ms;
constexpr int kRounds = 400;

Chunk chunk() { return Chunk(kChunkBytes, 0x3F); }

// The application's main thread: a ThreadLoop running until destroyed.
class MainThread {
public:
    explicit MainThread(std::function<void(ThreadLoop&)> onStart = {}, std::function<void()> onStop = {}) {
        std::promise<ThreadLoop*> started;
        thread_ = std::thread([&, onStart = std::move(onStart), onStop = std::move(onStop)] {
            ThreadLoop loop;
            if (onStart) onStart(loop);
            started.set_value(&loop);
            loop.run();
            if (onStop) onStop();
        });
        loop_ = started.get_future().get();
    }
    ~MainThread() {
        loop_->post([loop = loop_] { loop->quit(); });
        thread_.join();
    }
    void post(std::function<void()> work) { loop_->post(std::move(work)); }

private:
    std::thread thread_;
    ThreadLoop* loop_ = nullptr;
};

// The floor's I/O thread: one WebSocket to the engine, written with a bare
// async_write and nothing else.
class BareSocketThread {
public:
    explicit BareSocketThread(const StandInEngine& engine) {
        beast::error_code error;
        tcp::resolver resolver(context_);
        asio::connect(socket_.next_layer(), resolver.resolve("127.0.0.1", std::to_string(engine.port())), error);
        if (!error) socket_.next_layer().set_option(tcp::no_delay(true), error);
        socket_.set_option(websocket::stream_base::decorator(
            [](websocket::request_type& request) { request.set("X-Murmo-Desktop-Token", std::string(kToken)); }));
        if (!error) socket_.handshake("127.0.0.1:" + std::to_string(engine.port()), "/ws/events", error);
        ok_ = !error;
        socket_.binary(true);
        thread_ = std::thread([this] { context_.run(); });
    }
    ~BareSocketThread() {
        asio::post(context_, [this] {
            beast::error_code ignored;
            socket_.next_layer().close(ignored);
            work_.reset();
        });
        thread_.join();
    }
    bool ok() const { return ok_; }

    // Any thread: hands the chunk to the I/O thread, which writes it.
    void write(Chunk bytes) {
        asio::post(context_, [this, bytes = std::make_shared<Chunk>(std::move(bytes))] {
            socket_.async_write(asio::buffer(*bytes), [bytes](const beast::error_code&, std::size_t) {});
        });
    }

private:
    asio::io_context context_{1};
    asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(context_);
    websocket::stream<tcp::socket> socket_{context_};
    bool ok_ = false;
    std::thread thread_;
};

// The three paths, each to a stand-in engine of its own, so each counts its
// own frames.
class AudioChunkPaths {
public:
    enum Path { client, twoHandOffs, oneHandOff, pathCount };

    AudioChunkPaths() {
        for (auto& engine : engines_) {
            engine = std::make_unique<StandInEngine>(StandInEngineOptions{"127.0.0.1", 0, std::string(kToken)});
            ok_ = ok_ && engine->start().has_value();
        }
        if (!ok_) return;
        clientMain_ = std::make_unique<MainThread>(
            [this](ThreadLoop& loop) {
                client_ = MurmoCoreClient::create(
                    engines_[client]->baseURL(), std::string(kToken),
                    {loop, std::make_shared<BeastCoreTransport>(), std::make_shared<RecordingLogSink>()});
                client_->connect();
                client_->beginNativeAudio("bench-operation", kSampleRate);
            },
            [this] {
                client_->disconnect();
                client_.reset();
            });
        ok_ = engines_[client]->waitForSocketFrames(1, 10s);
        framesSeen_[client] = 1;
        floorMain_ = std::make_unique<MainThread>();
        twoHandOffsIO_ = std::make_unique<BareSocketThread>(*engines_[twoHandOffs]);
        oneHandOffIO_ = std::make_unique<BareSocketThread>(*engines_[oneHandOff]);
        ok_ = ok_ && twoHandOffsIO_->ok() && oneHandOffIO_->ok();
    }

    bool ok() const { return ok_; }

    // Times one chunk on `path` from its post on this (the capture) thread to
    // its arrival at the engine, in seconds; nothing when it was lost.
    std::optional<double> timeChunk(Path path) {
        std::this_thread::sleep_for(kCaptureGap);
        const auto started = SteadyClock::now();
        post(path, chunk());
        if (!engines_[path]->waitForSocketFrames(++framesSeen_[path], 10s)) return std::nullopt;
        return std::chrono::duration<double>(SteadyClock::now() - started).count();
    }

private:
    void post(Path path, Chunk bytes) {
        switch (path) {
            case client:
                clientMain_->post(
                    [this, bytes = std::move(bytes)]() mutable { client_->sendNativeAudio(std::move(bytes)); });
                return;
            case twoHandOffs:
                floorMain_->post(
                    [this, bytes = std::move(bytes)]() mutable { twoHandOffsIO_->write(std::move(bytes)); });
                return;
            case oneHandOff: oneHandOffIO_->write(std::move(bytes)); return;
            case pathCount: return;
        }
    }

    std::array<std::unique_ptr<StandInEngine>, pathCount> engines_;
    std::array<std::size_t, pathCount> framesSeen_{};
    bool ok_ = true;
    std::shared_ptr<MurmoCoreClient> client_;
    std::unique_ptr<MainThread> clientMain_;
    std::unique_ptr<MainThread> floorMain_;
    std::unique_ptr<BareSocketThread> twoHandOffsIO_;
    std::unique_ptr<BareSocketThread> oneHandOffIO_;
};

// The median time per chunk of each path. The paths take turns chunk by
// chunk, so a load that comes and goes on the machine weighs on all three
// alike, and the median leaves out chunks delayed by an unrelated process.
// Measured once, in the first benchmark that asks.
const std::optional<std::array<double, AudioChunkPaths::pathCount>>& medianChunkTimes() {
    static const auto medians = []() -> std::optional<std::array<double, AudioChunkPaths::pathCount>> {
        AudioChunkPaths paths;
        if (!paths.ok()) return std::nullopt;
        std::array<std::vector<double>, AudioChunkPaths::pathCount> samples;
        for (int round = 0; round < kRounds; ++round) {
            for (int turn = 0; turn < AudioChunkPaths::pathCount; ++turn) {
                // A different path goes first in each round.
                const auto path = static_cast<AudioChunkPaths::Path>((round + turn) % AudioChunkPaths::pathCount);
                const auto seconds = paths.timeChunk(path);
                if (!seconds) return std::nullopt;
                samples[path].push_back(*seconds);
            }
        }
        std::array<double, AudioChunkPaths::pathCount> result{};
        for (int path = 0; path < AudioChunkPaths::pathCount; ++path) {
            auto& times = samples[path];
            std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
            result[path] = times[times.size() / 2];
        }
        return result;
    }();
    return medians;
}

void reportMedian(benchmark::State& state, AudioChunkPaths::Path path) {
    const auto& medians = medianChunkTimes();
    if (!medians) return state.SkipWithError("a path failed");
    for (auto _ : state) state.SetIterationTime((*medians)[path]);
}

void BM_ClientAudioChunk(benchmark::State& state) { reportMedian(state, AudioChunkPaths::client); }
BENCHMARK(BM_ClientAudioChunk)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

void BM_TwoHandOffFloor(benchmark::State& state) { reportMedian(state, AudioChunkPaths::twoHandOffs); }
BENCHMARK(BM_TwoHandOffFloor)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

void BM_OneHandOffFloor(benchmark::State& state) { reportMedian(state, AudioChunkPaths::oneHandOff); }
BENCHMARK(BM_OneHandOffFloor)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_ClientAudioChunk", "BM_TwoHandOffFloor")) {
            std::printf("client / two hand-offs (main loop, I/O thread) per %zu-byte chunk: %.2fx\n", kChunkBytes,
                        *ratio);
        }
        if (auto ratio = reporter.ratio("BM_ClientAudioChunk", "BM_OneHandOffFloor")) {
            std::printf("client / one hand-off (I/O thread) per %zu-byte chunk: %.2fx\n", kChunkBytes, *ratio);
        }
    });
}
