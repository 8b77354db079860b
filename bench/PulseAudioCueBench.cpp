// How long a cue takes from its request to sound on the speakers, and how
// long speech takes from a stop to silence, each beside the floor PulseAudio
// allows, measured in the same run on the same server:
// - cue: PulseAudioCuePlayer::play() to the first loud 10 ms on the speakers'
//   monitor, beside a bare pa_stream connected and written with the same
//   samples, drained the same way;
// - speech stop: stopSpeakingImmediately() mid-sentence to the last loud
//   10 ms on the monitor, beside disconnecting a bare pa_stream that plays
//   the same sentence synthesised up front by the bare library.
// Prints ours / floor for both, and how long the bare library takes to
// synthesise the sentence.
//
// Needs the tests' private sound server: run it inside
// tests/support/desktop-session.sh (the speakers' monitor is what it listens
// to), e.g. tests/support/desktop-session.sh build/dev/bench/bench_PulseAudioCueBench

#include <benchmark/benchmark.h>
#include <espeak-ng/speak_lib.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/EspeakSpeechSynthesizer.h"
#include "platform/linux/PulseAudioContext.h"
#include "platform/linux/PulseAudioCuePlayerFactory.h"
#include "platform/linux/PulseAudioPlayback.h"
#include "platform/linux/PulseAudioPlaybackTarget.h"
#include "platform/linux/SndfileSound.h"
#include "runtime/ThreadLoop.h"
#include "support/RatioReporter.h"
#include "support/pulse/AudioSignals.h"
#include "support/pulse/PulseSourceRecorder.h"

namespace {

using namespace murmo;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using testing::PulseSourceRecorder;

// What the speakers' monitor is recorded at.
constexpr std::uint32_t kMonitorRate = 48000;

constexpr float kHeard = 0.005f;
const std::string kSentence =
    "This is a long answer that would go on for many seconds, sentence after sentence, if nothing stopped it.";

// A bare playback stream: the least any player must do to make a sound.
class BareStream {
public:
    BareStream(std::shared_ptr<PulseAudioContext> context, const pa_sample_spec& format,
               std::span<const std::byte> bytes)
        : context_(std::move(context)) {
        PulseAudioContext::Lock lock(*context_);
        stream_.reset(pa_stream_new(context_->context(), "bench bare stream", &format, nullptr));
        bytes_.assign(bytes.begin(), bytes.end());
        pa_stream_set_write_callback(stream_.get(), onWritable, this);
        pa_buffer_attr attributes{static_cast<std::uint32_t>(-1),
                                  static_cast<std::uint32_t>(pa_usec_to_bytes(50 * PA_USEC_PER_MSEC, &format)),
                                  static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                                  static_cast<std::uint32_t>(-1)};
        pa_stream_connect_playback(stream_.get(), nullptr, &attributes, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
    }
    ~BareStream() {
        PulseAudioContext::Lock lock(*context_);
        pa_stream_set_write_callback(stream_.get(), nullptr, nullptr);
        pa_stream_disconnect(stream_.get());
    }

private:
    static void onWritable(pa_stream* stream, std::size_t writable, void* self) {
        auto& bare = *static_cast<BareStream*>(self);
        const std::size_t bytes = std::min(writable, bare.bytes_.size() - bare.written_);
        if (bytes > 0) pa_stream_write(stream, bare.bytes_.data() + bare.written_, bytes, nullptr, 0, PA_SEEK_RELATIVE);
        bare.written_ += bytes;
        if (bare.written_ == bare.bytes_.size() && !bare.drained_) {
            bare.drained_ = true;
            pa_operation_unref(pa_stream_drain(stream, nullptr, nullptr));
        }
    }

    std::shared_ptr<PulseAudioContext> context_;
    PulseStreamHandle stream_;
    std::vector<std::byte> bytes_;
    std::size_t written_ = 0;
    bool drained_ = false;
};

// A cue-like sound: 200 ms of a 880 Hz tone, 16 kHz mono 16-bit, as a file.
std::filesystem::path writeCue() {
    const auto file = std::filesystem::temp_directory_path() / ("murmo-cue-bench-" + std::to_string(getpid()) + ".wav");
    SF_INFO info{};
    info.samplerate = 16000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* handle = sf_open(file.c_str(), SFM_WRITE, &info);
    if (!handle) return file;
    std::vector<float> samples(3200);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.4f * static_cast<float>(std::sin(2 * std::numbers::pi * 880.0 * static_cast<double>(i) / 16000));
    }
    sf_writef_float(handle, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(handle);
    return file;
}

std::vector<std::int16_t> bareSynthesis(const std::string& text) {
    // A library of its own, before the synthesiser claims it.
    std::vector<std::int16_t> samples;
    espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    static std::vector<std::int16_t>* out = nullptr;
    out = &samples;
    espeak_SetSynthCallback([](short* wav, int count, espeak_EVENT*) {
        if (wav && count > 0) out->insert(out->end(), wav, wav + count);
        return 0;
    });
    espeak_SetVoiceByName("gmw/en-US");
    espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    espeak_Terminate();
    return samples;
}

struct World {
    std::string error;
    std::shared_ptr<PulseAudioContext> context;
    std::unique_ptr<PulseSourceRecorder> monitor;
    std::optional<SndfileSound> cue;
    std::unique_ptr<CuePlayer> player;
    std::vector<std::int16_t> sentence;
    double bareSynthesisSeconds = 0;
    ThreadLoop loop;
    std::unique_ptr<EspeakSpeechSynthesizer> synthesizer;

    World() {
        auto connected = PulseAudioContext::connect("murmo-cue-bench", 5s);
        if (!connected) {
            error = "no sound server (run inside tests/support/desktop-session.sh): " + connected.error().message;
            return;
        }
        context = *connected;
        auto recording = PulseSourceRecorder::record(context, "speakers.monitor", kMonitorRate);
        if (!recording) {
            error = "cannot record the speakers: " + recording.error().message;
            return;
        }
        monitor = std::move(*recording);
        const auto cueFile = writeCue();
        cue = SndfileSound::decode(cueFile);
        player = PulseAudioCuePlayerFactory(context, nullptr).makePlayer(cueFile);
        std::filesystem::remove(cueFile);
        const auto synthesisStart = SteadyClock::now();
        sentence = bareSynthesis(kSentence);
        bareSynthesisSeconds = std::chrono::duration<double>(SteadyClock::now() - synthesisStart).count();
        auto created = EspeakSpeechSynthesizer::create(loop, context, nullptr);
        if (!cue || !player || !created) {
            error = "no cue or no speech";
            return;
        }
        synthesizer = std::move(*created);
        if (!monitor->waitForSamples(kMonitorRate / 2, 5s)) error = "the speakers' monitor is silent";
    }

    // Waits until the monitor has been quiet for a while, so each round
    // starts from silence.
    void waitForQuiet() {
        for (int round = 0; round < 100; ++round) {
            monitor->waitForSamples(kMonitorRate / 20, 1s);
            const auto samples = monitor->samples();
            const std::size_t window = kMonitorRate / 10;
            if (samples.size() >= window && testing::rms(std::span(samples).last(window)) < kHeard / 10) {
                return;
            }
        }
    }

    // Seconds from `request` to the first loud window after `from`.
    std::optional<double> secondsToSound(std::size_t from, SteadyClock::time_point request) {
        const auto heard = monitor->waitForSound(from, kHeard, 3s);
        if (!heard) return std::nullopt;
        return std::chrono::duration<double>(monitor->arrivalOf(*heard + monitor->loudnessWindow()) - request).count();
    }

    // Seconds from `stop` to the end of the last loud window after `from`.
    double secondsToSilence(std::size_t from, SteadyClock::time_point stop) {
        monitor->waitForSamples(kMonitorRate / 2, 3s);
        const auto samples = monitor->samples();
        const std::size_t window = monitor->loudnessWindow();
        std::size_t lastLoudEnd = from;
        for (std::size_t start = from; start + window <= samples.size(); start += window) {
            if (testing::rms(std::span(samples).subspan(start, window)) > kHeard) lastLoudEnd = start + window;
        }
        return std::max(0.0, std::chrono::duration<double>(monitor->arrivalOf(lastLoudEnd) - stop).count());
    }
};

World& world() {
    static World instance;
    return instance;
}

template <class Round>
void measure(benchmark::State& state, Round round) {
    auto& w = world();
    if (!w.error.empty()) {
        state.SkipWithError(w.error.c_str());
        return;
    }
    for (auto _ : state) {
        w.waitForQuiet();
        const auto seconds = round(w);
        if (!seconds) {
            state.SkipWithError("nothing was heard");
            return;
        }
        state.SetIterationTime(*seconds);
    }
}

void BM_CueRequestToSound(benchmark::State& state) {
    measure(state, [](World& w) {
        const std::size_t from = w.monitor->sampleCount();
        const auto request = SteadyClock::now();
        w.player->play();
        auto seconds = w.secondsToSound(from, request);
        while (w.player->isPlaying()) std::this_thread::sleep_for(1ms);
        return seconds;
    });
}
BENCHMARK(BM_CueRequestToSound)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_BareStreamWriteToSound(benchmark::State& state) {
    measure(state, [](World& w) {
        const std::size_t from = w.monitor->sampleCount();
        const auto request = SteadyClock::now();
        const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, w.cue->sampleRate(), w.cue->channels()};
        std::vector<float> scaled(w.cue->samples().begin(), w.cue->samples().end());
        BareStream stream(w.context, format, std::as_bytes(std::span<const float>(scaled)));
        auto seconds = w.secondsToSound(from, request);
        w.monitor->waitForSamples(static_cast<std::size_t>(w.cue->frameCount() * kMonitorRate / w.cue->sampleRate()),
                                  3s);
        return seconds;
    });
}
BENCHMARK(BM_BareStreamWriteToSound)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_SpeechStopToSilence(benchmark::State& state) {
    measure(state, [](World& w) -> std::optional<double> {
        const std::size_t from = w.monitor->sampleCount();
        w.synthesizer->speak({.text = kSentence, .voiceIdentifier = "gmw/en-US"});
        if (!w.monitor->waitForSound(from, kHeard, 3s)) return std::nullopt;
        std::this_thread::sleep_for(300ms);
        const std::size_t atStop = w.monitor->sampleCount();
        const auto stop = SteadyClock::now();
        w.synthesizer->stopSpeakingImmediately();
        return w.secondsToSilence(atStop, stop);
    });
}
BENCHMARK(BM_SpeechStopToSilence)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_BareStreamStopToSilence(benchmark::State& state) {
    measure(state, [](World& w) -> std::optional<double> {
        const std::size_t from = w.monitor->sampleCount();
        const pa_sample_spec format{PA_SAMPLE_S16NE, 22050, 1};
        auto stream =
            std::make_unique<BareStream>(w.context, format, std::as_bytes(std::span<const std::int16_t>(w.sentence)));
        if (!w.monitor->waitForSound(from, kHeard, 3s)) return std::nullopt;
        std::this_thread::sleep_for(300ms);
        const std::size_t atStop = w.monitor->sampleCount();
        const auto stop = SteadyClock::now();
        stream.reset();
        return w.secondsToSilence(atStop, stop);
    });
}
BENCHMARK(BM_BareStreamStopToSilence)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    return murmo::bench::runWithRatio(argc, argv, [](const murmo::bench::RatioReporter& reporter) {
        if (auto ratio = reporter.ratio("BM_CueRequestToSound", "BM_BareStreamWriteToSound")) {
            std::printf("cue request to sound / bare stream write to sound: %.2fx\n", *ratio);
        }
        if (auto ratio = reporter.ratio("BM_SpeechStopToSilence", "BM_BareStreamStopToSilence")) {
            std::printf("speech stop to silence / bare stream stop to silence: %.2fx\n", *ratio);
        }
        // What a stop saves: the synthesis itself is far faster than speech.
        const auto& w = world();
        if (w.error.empty()) {
            std::printf("bare espeak-ng synthesis of the sentence: %.1f ms for %.1f s of speech\n",
                        w.bareSynthesisSeconds * 1000, static_cast<double>(w.sentence.size()) / 22050);
        }
    });
}
