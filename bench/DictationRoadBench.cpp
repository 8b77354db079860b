// Two stretches of the whole dictation road, run in the end-to-end world
// (tests/support/DictationWorld.h: the real coordinator, client, router,
// capture and delivery on the simulated desktop, against the in-process
// stand-in engine over loopback), each printed against the bare work it
// cannot avoid, measured in the same run.
//
// 1. Key release until the stand-in reads the release request: from the
//    release sent through the simulated key tap until the stand-in's handler
//    for "POST /api/v1/dictations/<id>/release" runs on its I/O thread.
//    Inside the road: the key tap waiting for the router thread's verdict,
//    the router's action posted to the main loop, the release-time focus
//    capture and reservation, the microphone stopped, the "native_audio_end"
//    frame through the client's send queue and transport thread, the
//    stand-in's acknowledgement back through the transport thread to the
//    main loop, and only then (a release waits for the audio end's
//    acknowledgement) the release request on a connection of its own.
//    The application's own timing on this road is the audio stream's pacing:
//    after writing each microphone chunk the client pauses for half the
//    chunk's length (20 ms for the world's 40 ms buffers) before it writes
//    anything else, the audio end included. So the road is timed twice:
//    - BM_ReleaseRoad releases once that pause has run out (jumped, as the
//      application's own timers are): the overhead proper;
//    - BM_ReleaseRoadRightAfterAChunk releases as soon as a chunk has reached
//      the engine: the audio end waits out nearly the whole pause, the worst
//      a user meets (with 40 ms chunks a release at a random instant waits
//      5 ms on average).
//    Floor: a bare Beast WebSocket, already open, writes the same end frame
//    and reads until its acknowledgement, then a bare blocking Beast POST
//    opens a connection and writes the release; timed the same way, up to
//    the stand-in's handler.
//    The ratio is the application's overhead on one WebSocket round trip plus
//    one connection and request: the thread hops (router, main loop,
//    transport, each way) and the main loop's work at the release. With the
//    pause out of the way a high ratio means a hop is not woken at once or
//    some new wait has appeared on the road; right after a chunk the ratio is
//    the pacing pause over the floor and says nothing about overhead.
//
// 2. A pushed final event until the text is in the field: from
//    engine.pushEvent of the operation's "dictation.final" (the release
//    reply held, so the event is what delivers) until the simulated field
//    holds the text, pumping the main loop. Inside the road: the client's
//    socket read and event decoding on the transport thread, the hop to the
//    main loop, the coordinator's event handling, the injector's admission,
//    the captured target's revalidation (accessibility reads, which take no
//    real time on the simulated desktop), and the clipboard paste up to its
//    keystroke: the user's clipboard snapshotted, the text written with our
//    marker, the target checked, Command-V posted, which the simulated
//    editor answers at once. The paster's observation ticks (25 ms on) and
//    its 1.2 s settle come after the text is in the field and are not part
//    of this road.
//    Floor: the same frame pushed by a stand-in to a bare Beast WebSocket
//    reader (push to read completed), plus a bare SimDesktop insertText of
//    the same text into the same kind of field.
//    The ratio is the application's overhead on one frame and one insertion:
//    the hop to the main loop and everything the delivery does before the
//    keystroke, against a floor of tens of microseconds that does no
//    clipboard or accessibility work at all; tens of times the floor is the
//    expected order. A road in milliseconds means something on it waits for
//    time to pass (a timer, or a write held back on the socket).
//
// Each sample is one whole dictation (press, speech, release, delivery, the
// paste verified and the clipboard given back) of which only the stretch
// above is timed, or one round of a floor; each benchmark takes one untimed
// round first, then reports the median of its samples as one iteration of
// manual time. Any wait that runs out skips the benchmark with an error
// rather than reporting a time.

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CoreWireTypes.h"
#include "engine/MurmoCoreClient.h"
#include "engine/NativeAudioTransportPolicy.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"
#include "runtime/Unicode.h"
#include "stand-in-engine/StandInEngine.h"
#include "stand-in-engine/StandInRoutes.h"
#include "support/DictationWorld.h"
#include "support/RatioReporter.h"
#include "support/SimulatedMicrophone.h"

namespace {

using namespace murmo;
using namespace std::chrono_literals;
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using SteadyClock = std::chrono::steady_clock;
using testing::DictationWorld;

constexpr std::string_view kToken = "bench-token";
constexpr std::string_view kStartPath = "/api/v1/dictations";
constexpr std::string_view kReleasePattern = "/api/v1/dictations/*/release";
constexpr std::string_view kFinalEvent = "dictation.final";
// Dictations (or bare rounds) per benchmark; the median is reported.
constexpr int kSamples = 30;
// Audio buffers the engine has before the user lets go: the stream is live.
constexpr std::size_t kAudioBeforeRelease = 2;
// Past the paster's 1.2 s settle: the paste verified, the clipboard back.
constexpr Duration kDeliveryAftermath = 2s;

// The pause the client takes after writing one buffer of the simulated
// microphone (mono float samples at the world's rate).
Duration pacingPause() {
    const auto sampleRate = static_cast<std::int64_t>(testing::DictationWorldOptions{}.sampleRate);
    const auto samples = sampleRate * testing::SimulatedMicrophone::kBufferInterval / std::chrono::seconds(1);
    return NativeAudioTransportPolicy::catchUpDelay(samples * static_cast<std::int64_t>(sizeof(float)), sampleRate);
}

// Every dictation says something new, so "the text is in the field" is never
// true before it arrives. Same length each time.
std::string transcript(int take) { return fmt::format("the road, take {:03}", take); }

double seconds(SteadyClock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

// One timed stretch, or why it could not be timed.
using Sample = std::expected<SteadyClock::duration, const char*>;

// Takes kSamples samples, numbered from 1, and reports their median as the
// benchmark's one iteration (manual time, so only the stretches count). The
// machine is shared: a sample held up by an unrelated process would weigh on
// a mean, not on the median. The first failed sample skips the benchmark.
void reportMedian(benchmark::State& state, const std::function<Sample(int)>& sample) {
    for (auto _ : state) {
        std::vector<double> times;
        for (int take = 1; take <= kSamples; ++take) {
            const auto time = sample(take);
            if (!time) return state.SkipWithError(time.error());
            times.push_back(seconds(*time));
        }
        std::ranges::nth_element(times, times.begin() + kSamples / 2);
        state.SetIterationTime(times[kSamples / 2]);
    }
    state.counters["samples"] = kSamples;
}

// The stand-in's side of the road: the default start reply (so no exact
// per-operation release handler hides the pattern below) and every release
// stamped the moment the stand-in has read it, on its I/O thread, then
// answered with the transcript or held.
class ReleaseStamps {
public:
    enum class Answer { transcript, hold };

    explicit ReleaseStamps(StandInEngine& engine) {
        engine.setHandler("POST", std::string(kStartPath),
                          [](const StandInRequest& request) { return defaultReply(request); });
        engine.setHandler("POST", std::string(kReleasePattern), [state = state_](const StandInRequest& request) {
            const auto readAt = SteadyClock::now();
            std::lock_guard lock(state->mutex);
            state->stamp = readAt;
            state->request = request;
            if (state->answer == Answer::hold) return StandInReply::held();
            return withFinalText(defaultReply(request), state->transcript);
        });
    }

    // The next release is answered so; forgets the last stamp.
    void expect(Answer answer, std::string text = {}) {
        std::lock_guard lock(state_->mutex);
        state_->answer = answer;
        state_->transcript = std::move(text);
        state_->stamp.reset();
        state_->request.reset();
    }

    std::optional<SteadyClock::time_point> stamp() const {
        std::lock_guard lock(state_->mutex);
        return state_->stamp;
    }

    // The stand-in's own reply to the last release, for a held one.
    std::optional<StandInReply> plainReply() const {
        std::lock_guard lock(state_->mutex);
        if (!state_->request) return std::nullopt;
        return defaultReply(*state_->request);
    }

private:
    struct State {
        mutable std::mutex mutex;
        Answer answer = Answer::transcript;
        std::string transcript;
        std::optional<SteadyClock::time_point> stamp;
        std::optional<StandInRequest> request;
    };

    static StandInReply defaultReply(const StandInRequest& request) {
        return standInDefaultReply(request).value_or(StandInReply{404, R"({"detail":"Not Found"})"});
    }

    static StandInReply withFinalText(StandInReply reply, const std::string& text) {
        auto body = nlohmann::json::parse(reply.body, nullptr, false);
        if (text.empty() || !body.is_object()) return reply;
        body["final_text"] = text;
        reply.body = body.dump();
        return reply;
    }

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// One world for a benchmark's dictations, one after another.
class DictationRoad {
public:
    DictationRoad() : stamps(world.engine) { ready_ = world.start(); }

    bool ready() const { return ready_; }

    // Holds the shortcut until the engine has the start and a little audio,
    // then settles: the instant before the user lets go. The operation, or
    // nothing when the engine never got that far.
    std::optional<std::string> speak() {
        const auto audioBefore = world.audioFrames().size();
        world.pressShortcut();
        if (!world.waitForRequest("POST " + std::string(kStartPath), ++dictations_)) return std::nullopt;
        if (!world.waitForAudioFrames(audioBefore + kAudioBeforeRelease)) return std::nullopt;
        if (!world.settle()) return std::nullopt;
        return world.operationID();
    }

    // Waits for `text` in the field, answers a held release, lets the paste
    // be verified and the clipboard come back, and waits for the coordinator
    // to be idle: ready for the next dictation.
    bool finish(const std::string& text, bool releaseHeld) {
        if (!fieldHas(text) && !world.pumpUntil([&] { return fieldHas(text); })) return false;
        if (releaseHeld) {
            auto reply = stamps.plainReply();
            if (!reply || !world.engine.releaseHeldReply(kReleasePattern, *reply)) return false;
        }
        if (!world.jump(kDeliveryAftermath)) return false;
        return world.pumpUntil([&] { return world.coordinator->isIdle(); }) && world.settle();
    }

    // Lets the pause the client takes after the last chunk it wrote run out
    // (the application's own timer, so jumped), short of the microphone's
    // next buffer. Tried again when a buffer went out all the same (the
    // jump then passed a buffer's time).
    bool letPacingRunOut() {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const auto audio = world.audioFrames().size();
            if (!world.jump(pacingPause() + 5ms) || !world.settle()) return false;
            if (world.audioFrames().size() == audio) return true;
        }
        return false;
    }

    // One untimed dictation, so first-time costs stay out of the timings.
    bool warmUp() {
        if (!speak()) return false;
        stamps.expect(ReleaseStamps::Answer::transcript, "warming up");
        world.releaseShortcut();
        return finish("warming up", false);
    }

    bool fieldHas(const std::string& text) const { return world.fieldText().contains(text); }

    DictationWorld world;
    ReleaseStamps stamps;

private:
    bool ready_ = false;
    std::size_t dictations_ = 0;
};

// ---------------------------------------------------------------------------
// 1. Key release until the stand-in reads the release request.

// When the user lets go, as the audio stream's pacing sees it.
enum class ReleaseInstant {
    // The pause after the last chunk written has run out: nothing is in the
    // way of the audio end.
    sendQueueIdle,
    // Just after a chunk was written: the audio end waits out its pause.
    rightAfterAChunk,
};

Sample releaseRoad(DictationRoad& road, ReleaseInstant instant, int take) {
    const auto text = transcript(take);
    if (!road.speak()) return std::unexpected("the dictation did not start");
    if (instant == ReleaseInstant::sendQueueIdle && !road.letPacingRunOut()) {
        return std::unexpected("the audio stream's pause did not run out");
    }
    road.stamps.expect(ReleaseStamps::Answer::transcript, text);
    const auto released = SteadyClock::now();
    road.world.releaseShortcut();
    if (!road.world.pumpUntil([&] { return road.stamps.stamp().has_value(); })) {
        return std::unexpected("the release never reached the engine");
    }
    const auto elapsed = *road.stamps.stamp() - released;
    if (!road.finish(text, false)) return std::unexpected("the dictation did not finish");
    return elapsed;
}

void releaseRoad(benchmark::State& state, ReleaseInstant instant) {
    DictationRoad road;
    if (!road.ready() || !road.warmUp()) return state.SkipWithError("the world did not get ready");
    reportMedian(state, [&](int take) { return releaseRoad(road, instant, take); });
}

void BM_ReleaseRoad(benchmark::State& state) { releaseRoad(state, ReleaseInstant::sendQueueIdle); }
BENCHMARK(BM_ReleaseRoad)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

void BM_ReleaseRoadRightAfterAChunk(benchmark::State& state) { releaseRoad(state, ReleaseInstant::rightAfterAChunk); }
BENCHMARK(BM_ReleaseRoadRightAfterAChunk)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

// A WebSocket to the stand-in's event path, opened and past the stand-in's
// greeting, read and written with blocking calls.
class BareEventSocket {
public:
    explicit BareEventSocket(const StandInEngine& engine) {
        beast::error_code error;
        const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), engine.port());
        socket_.next_layer().connect(endpoint, error);
        if (!error) socket_.next_layer().set_option(tcp::no_delay(true), error);
        socket_.set_option(websocket::stream_base::decorator(
            [](websocket::request_type& request) { request.set(StandInEngine::kTokenHeader, std::string(kToken)); }));
        if (!error) socket_.handshake("127.0.0.1:" + std::to_string(engine.port()), StandInEngine::kEventsPath, error);
        ok_ = !error && readText().has_value();  // "runtime_status"
    }
    ~BareEventSocket() {
        beast::error_code ignored;
        socket_.next_layer().close(ignored);
    }

    bool ok() const { return ok_; }

    bool writeText(const std::string& text) {
        beast::error_code error;
        socket_.text(true);
        socket_.write(asio::buffer(text), error);
        return !error;
    }

    std::optional<std::string> readText() {
        beast::error_code error;
        buffer_.consume(buffer_.size());
        socket_.read(buffer_, error);
        if (error) return std::nullopt;
        return beast::buffers_to_string(buffer_.cdata());
    }

    // Reads until a frame whose "type" is `type`.
    bool readUntil(std::string_view type) {
        for (;;) {
            auto text = readText();
            if (!text) return false;
            auto frame = nlohmann::json::parse(*text, nullptr, false);
            if (frame.is_object() && frame.value("type", "") == type) return true;
        }
    }

private:
    asio::io_context context_;
    websocket::stream<tcp::socket> socket_{context_};
    beast::flat_buffer buffer_;
    bool ok_ = false;
};

// A bare blocking POST on a connection of its own, as the client opens one
// per request; true when the stand-in answered it with 200.
bool barePost(std::uint16_t port, const std::string& target, const std::string& body) {
    asio::io_context context;
    tcp::socket socket(context);
    beast::error_code error;
    socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), error);
    if (!error) socket.set_option(tcp::no_delay(true), error);
    http::request<http::string_body> request{http::verb::post, target, 11};
    request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    request.set(http::field::content_type, "application/json");
    request.set(StandInEngine::kTokenHeader, std::string(kToken));
    request.body() = body;
    request.prepare_payload();
    if (!error) http::write(socket, request, error);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    if (!error) http::read(socket, buffer, response, error);
    socket.shutdown(tcp::socket::shutdown_both, error);
    return response.result_int() == 200;
}

// The floor of the release road on one bare connection; `take` names the
// operation. Timed up to the stand-in's handler.
class BareRelease {
public:
    BareRelease() : stamps_(engine_) {
        if (engine_.start()) socket_.emplace(engine_);
    }

    bool ready() const { return socket_ && socket_->ok(); }

    Sample time(int take) {
        const auto operationID = fmt::format("bare-{:03}", take);
        const auto endFrame = nlohmann::json{{"type", "native_audio_end"}, {"operation_id", operationID}}.dump();
        const auto body = RecordingPayload(std::string(MurmoCoreClient::kSource), operationID,
                                           MonotonicTime(std::chrono::seconds(take)))
                              .requestBody()
                              .dump();
        const auto target = std::string(kStartPath) + "/" + operationID + "/release";
        stamps_.expect(ReleaseStamps::Answer::transcript, transcript(take));
        const auto started = SteadyClock::now();
        if (!socket_->writeText(endFrame) || !socket_->readUntil("native_audio_end_ack")) {
            return std::unexpected("no acknowledgement of the bare audio end");
        }
        const auto stamp = barePost(engine_.port(), target, body) ? stamps_.stamp() : std::nullopt;
        if (!stamp) return std::unexpected("the bare release was not answered");
        return *stamp - started;
    }

private:
    StandInEngine engine_{StandInEngineOptions{.desktopToken = std::string(kToken)}};
    ReleaseStamps stamps_;
    std::optional<BareEventSocket> socket_;
};

void BM_BareEndAckAndRelease(benchmark::State& state) {
    BareRelease bare;
    if (!bare.ready() || !bare.time(0)) return state.SkipWithError("the bare connection did not work");
    reportMedian(state, [&](int take) { return bare.time(take); });
}
BENCHMARK(BM_BareEndAckAndRelease)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------
// 2. A pushed final event until the text is in the field.

StandInEvent finalEvent(const std::string& operationID, const std::string& text) {
    return StandInEvent{.type = std::string(kFinalEvent),
                        .dataJSON = nlohmann::json{{"text", text}}.dump(),
                        .operationID = operationID};
}

Sample finalEventRoad(DictationRoad& road, int take) {
    const auto text = transcript(take);
    const auto operationID = road.speak();
    if (!operationID) return std::unexpected("the dictation did not start");
    road.stamps.expect(ReleaseStamps::Answer::hold);
    road.world.releaseShortcut();
    if (!road.world.pumpUntil([&] { return road.stamps.stamp().has_value(); })) {
        return std::unexpected("the release never reached the engine");
    }
    // The held release is the one request left unanswered.
    if (!road.world.settle(1)) return std::unexpected("the world did not settle after the release");
    const auto pushed = SteadyClock::now();
    road.world.engine.pushEvent(finalEvent(*operationID, text));
    if (!road.world.pumpUntil([&] { return road.fieldHas(text); })) {
        return std::unexpected("the text never reached the field");
    }
    const auto elapsed = SteadyClock::now() - pushed;
    if (!road.finish(text, true)) return std::unexpected("the dictation did not finish");
    return elapsed;
}

void BM_FinalEventRoad(benchmark::State& state) {
    DictationRoad road;
    if (!road.ready() || !road.warmUp()) return state.SkipWithError("the world did not get ready");
    reportMedian(state, [&](int take) { return finalEventRoad(road, take); });
}
BENCHMARK(BM_FinalEventRoad)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

// A field like the world's editor field (its text before any dictation,
// caret at the end), on a desktop of its own.
class BareField {
public:
    BareField() {
        desktop_.launch(SimProcessSetup{.pid = DictationWorld::kEditorPID,
                                        .application = SimApplicationInfo{
                                            .bundleIdentifier = std::string(DictationWorld::kEditorBundleIdentifier)}});
        const auto window = desktop_.addWindow(DictationWorld::kEditorPID, 7);
        const auto text = testing::DictationWorldOptions{}.fieldText;
        const auto caret = static_cast<std::int64_t>(unicode::utf16Length(text).value_or(0));
        field_ = desktop_.addElement(window, SimElementSetup{.role = "AXTextField",
                                                             .value = text,
                                                             .selectedRange = AXTextRange{caret, 0},
                                                             .valueSettable = true,
                                                             .selectedTextSettable = true});
    }

    bool insert(const std::string& text) { return desktop_.insertText(field_, text); }

private:
    ManualLoop loop_;
    SimDesktop desktop_{loop_};
    SimElementID field_ = 0;
};

// The floor of the final event's road: a stand-in pushing to a bare reader,
// and a field to insert into. Timed from the push to the text in the field.
class BareFrameAndInsert {
public:
    BareFrameAndInsert() {
        if (engine_.start()) socket_.emplace(engine_);
    }

    bool ready() const { return socket_ && socket_->ok(); }

    Sample time(int take) {
        const auto text = transcript(take);
        const auto pushed = SteadyClock::now();
        engine_.pushEvent(finalEvent(fmt::format("bare-{:03}", take), text));
        if (!socket_->readUntil(kFinalEvent)) return std::unexpected("the bare reader got no frame");
        const auto read = SteadyClock::now();
        if (!field_.insert(text)) return std::unexpected("the bare field took no text");
        const auto inserted = SteadyClock::now();
        return (read - pushed) + (inserted - read);
    }

private:
    StandInEngine engine_{StandInEngineOptions{.desktopToken = std::string(kToken)}};
    std::optional<BareEventSocket> socket_;
    BareField field_;
};

void BM_BareFrameAndInsert(benchmark::State& state) {
    BareFrameAndInsert bare;
    if (!bare.ready() || !bare.time(0)) return state.SkipWithError("the bare socket or field did not work");
    reportMedian(state, [&](int take) { return bare.time(take); });
}
BENCHMARK(BM_BareFrameAndInsert)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_ReleaseRoad", "BM_BareEndAckAndRelease")) {
            std::printf("key release to release request read / bare end, acknowledgement and POST: %.2fx\n", *ratio);
        }
        if (auto ratio = reporter.ratio("BM_ReleaseRoadRightAfterAChunk", "BM_BareEndAckAndRelease")) {
            std::printf("the same, released just after an audio chunk was written: %.2fx\n", *ratio);
        }
        if (auto ratio = reporter.ratio("BM_FinalEventRoad", "BM_BareFrameAndInsert")) {
            std::printf("final event to text in the field / bare frame read and insertText: %.2fx\n", *ratio);
        }
    });
}
