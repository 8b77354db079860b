// The microphone engine against the test session's sound server: a tone fed
// into the microphone comes back in exact, continuous chunks; voice
// processing takes what we play on the speakers out of the microphone and
// leaves the voice and the microphone's volume alone; the route changing
// under a running capture is reported, a suspended source is not, and the
// capture's watchdog reports the silence of a suspended source.

#include "platform/linux/PulseAudioEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "input/VoiceProcessingAudioCapture.h"
#include "platform/linux/PulseAudioDevices.h"
#include "platform/linux/PulseAudioEngineFactory.h"
#include "platform/linux/PulseMicrophonePermission.h"
#include "runtime/ManualLoop.h"
#include "support/pulse/AudioSignals.h"
#include "support/pulse/PulseServerControl.h"
#include "support/pulse/PulseSignalPlayer.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::PulseServerControl;
using testing::PulseSignalPlayer;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kRate = 48'000;
constexpr double kToneHz = 440;
constexpr double kToneAmplitude = 0.3;
constexpr double kCueHz = 1'000;
constexpr double kCueAmplitude = 0.3;
constexpr Duration kWait = 5s;

struct Chunk {
    Clock::time_point arrival;
    std::uint32_t frameLength = 0;
    std::uint32_t channelCount = 0;
    std::vector<float> firstChannel;
};

// What the tap got, in order.
class TapLog {
public:
    AudioEngine::TapBlock block() {
        return [this](const AudioPCMBuffer& buffer) {
            Chunk chunk{Clock::now(), buffer.frameLength, buffer.channelCount, {}};
            if (buffer.floatChannelData) {
                chunk.firstChannel.assign(buffer.floatChannelData[0], buffer.floatChannelData[0] + buffer.frameLength);
            }
            std::lock_guard lock(mutex_);
            chunks_.push_back(std::move(chunk));
            changed_.notify_all();
        };
    }
    bool waitForCount(std::size_t count, Duration timeout = kWait) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return chunks_.size() >= count; });
    }
    std::vector<Chunk> chunks() const {
        std::lock_guard lock(mutex_);
        return chunks_;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return chunks_.size();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Chunk> chunks_;
};

// Counts the engine's configuration changes.
class ChangeLog {
public:
    AudioEngine::ConfigurationChangeHandler handler() {
        return [this] {
            std::lock_guard lock(mutex_);
            ++count_;
            changed_.notify_all();
        };
    }
    bool waitForOne(Duration timeout = kWait) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return count_ > 0; });
    }
    int count() const {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

std::vector<float> samplesOf(const std::vector<Chunk>& chunks, std::size_t from, std::size_t to) {
    std::vector<float> samples;
    for (std::size_t i = from; i < to && i < chunks.size(); ++i) {
        samples.insert(samples.end(), chunks[i].firstChannel.begin(), chunks[i].firstChannel.end());
    }
    return samples;
}

std::uint32_t framesFor40ms(double rate) { return std::max<std::uint32_t>(std::lround(rate * 0.04), 1); }

class PulseAudioEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto connected = PulseServerControl::connect();
        ASSERT_TRUE(connected) << connected.error().message;
        control = std::move(*connected);
        auto running = control->waitForAudio("microphone");
        ASSERT_TRUE(running) << running.error().message;
        auto context = PulseAudioContext::connect("murmo-engine-tests", kWait);
        ASSERT_TRUE(context) << context.error().message;
        engineContext = *context;
    }

    void TearDown() override {
        if (!control) return;
        (void)control->setDefaultSource("microphone");
        (void)control->suspendSource("microphone", false);
    }

    std::shared_ptr<PulseAudioEngine> makeEngine() {
        PulseAudioEngineFactory factory(engineContext, playbackTarget);
        return std::static_pointer_cast<PulseAudioEngine>(factory.makeEngine());
    }

    std::unique_ptr<PulseSignalPlayer> play(std::optional<std::string> sink, std::vector<float> samples, bool loop) {
        auto player = PulseSignalPlayer::play(control->context(), std::move(sink), std::move(samples), kRate, loop);
        EXPECT_TRUE(player) << player.error().message;
        return player ? std::move(*player) : nullptr;
    }

    std::unique_ptr<PulseSignalPlayer> feedTone() {
        return play("mic_mix", testing::sineTone(kToneHz, kToneAmplitude, kRate, 1.0), true);
    }

    // Prepares and starts the engine as the capture does; the tap asks for
    // 40 ms buffers.
    void startCapture(AudioEngine& engine, TapLog& log) {
        const auto format = engine.inputFormat();
        ASSERT_GT(format.sampleRate, 0);
        ASSERT_GE(format.channelCount, 1u);
        engine.installTap(framesFor40ms(format.sampleRate), format, log.block());
        engine.prepare();
        auto started = engine.start();
        ASSERT_TRUE(started) << started.error().message;
        ASSERT_TRUE(engine.isRunning());
    }

    std::unique_ptr<PulseServerControl> control;
    std::shared_ptr<PulseAudioContext> engineContext;
    std::shared_ptr<PulseAudioPlaybackTarget> playbackTarget = std::make_shared<PulseAudioPlaybackTarget>();
};

TEST_F(PulseAudioEngineTest, AFedToneArrivesInContinuousChunksOfExactlyTheTapsSize) {
    auto tone = feedTone();
    ASSERT_TRUE(tone);
    auto engine = makeEngine();
    EXPECT_EQ(engine->inputFormat(), (AudioInputFormat{kRate, 1, AudioCommonFormat::float32, false}));
    TapLog log;
    startCapture(*engine, log);
    // 3 s of capture; the first half second may still be the tone's start.
    ASSERT_TRUE(log.waitForCount(75, 10s));
    engine->stop();
    const auto chunks = log.chunks();

    for (const auto& chunk : chunks) {
        ASSERT_EQ(chunk.frameLength, 1'920u);
        ASSERT_EQ(chunk.channelCount, 1u);
    }
    // Real time: on average one chunk per 40 ms (pieces arrive in bursts, so
    // only the mean is steady).
    const double meanPeriodMs =
        std::chrono::duration<double, std::milli>(chunks.back().arrival - chunks[12].arrival).count() /
        static_cast<double>(chunks.size() - 13);
    EXPECT_NEAR(meanPeriodMs, 40.0, 4.0);

    // Every chunk is the tone, and continues it where the previous one ended:
    // no frame lost, repeated or left out between chunks.
    const double advance = 2 * std::numbers::pi * kToneHz * 1'920 / kRate;
    double previousPhase = 0;
    for (std::size_t i = 12; i < chunks.size(); ++i) {
        SCOPED_TRACE("chunk " + std::to_string(i));
        const auto tone = testing::measureTone(chunks[i].firstChannel, kToneHz, kRate);
        EXPECT_NEAR(tone.amplitude, kToneAmplitude, 0.02);
        EXPECT_NEAR(testing::rms(chunks[i].firstChannel), kToneAmplitude / std::sqrt(2.0), 0.02);
        if (i > 12) {
            const double drift = std::remainder(tone.phase - previousPhase - advance, 2 * std::numbers::pi);
            EXPECT_NEAR(drift, 0.0, 0.05);
        }
        previousPhase = tone.phase;
    }
}

// Captures with a voice fed to the microphone and a 5 s cue played through
// the playback target from 1.2 s on. Gives the voice's level before the cue,
// and, over 0.4 s windows of the capture after the cue began (skipping the
// canceller's first second of adapting to it), the cue's typical (median)
// and strongest strength, and the median level of all (the canceller ducks
// the voice a little while both talk). Windows, not times: on a busy machine
// the capture lags the cue's start by up to a second, and a stall there can
// leave one window with more echo while the canceller catches up.
struct EchoMeasurement {
    double voiceAlone = 0;
    double cue = 0;
    double strongestCue = 0;
    double duringCue = 0;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class PulseAudioEngineEchoTest : public PulseAudioEngineTest {
protected:
    EchoMeasurement measure(bool voiceProcessing) {
        auto engine = makeEngine();
        auto enabled = engine->setVoiceProcessingEnabled(voiceProcessing);
        EXPECT_TRUE(enabled) << enabled.error().message;
        EXPECT_EQ(playbackTarget->sinkName().has_value(), voiceProcessing);
        TapLog log;
        startCapture(*engine, log);
        if (HasFatalFailure()) return {};
        const auto rate = static_cast<std::uint32_t>(engine->inputFormat().sampleRate);
        EXPECT_TRUE(log.waitForCount(30));
        const std::size_t cueStart = log.count();
        auto cue = play(playbackTarget->sinkName(), testing::sineTone(kCueHz, kCueAmplitude, kRate, 5.0), false);
        EXPECT_TRUE(log.waitForCount(cueStart + 130, 15s));
        engine->stop();
        const auto chunks = log.chunks();
        std::vector<double> cueLevels;
        std::vector<double> levels;
        for (std::size_t window = cueStart + 25; window + 10 <= cueStart + 130; window += 10) {
            const auto samples = samplesOf(chunks, window, window + 10);
            cueLevels.push_back(testing::measureTone(samples, kCueHz, rate).amplitude);
            levels.push_back(testing::rms(samples));
        }
        EchoMeasurement measured;
        measured.voiceAlone = testing::rms(samplesOf(chunks, cueStart - 15, cueStart));
        measured.cue = median(cueLevels);
        measured.strongestCue = cueLevels.empty() ? 0 : *std::max_element(cueLevels.begin(), cueLevels.end());
        measured.duringCue = median(levels);
        return measured;
    }
};

TEST_F(PulseAudioEngineEchoTest, VoiceProcessingTakesOurPlaybackOutOfTheMicrophoneAndKeepsTheVoice) {
    auto volumeBefore = control->sourceVolume("microphone");
    ASSERT_TRUE(volumeBefore && *volumeBefore);
    auto voice = play("mic_mix", testing::syntheticVoice(0.3, kRate, 3.0), true);
    ASSERT_TRUE(voice);

    const auto raw = measure(false);
    const auto processed = measure(true);
    const double reductionDb = testing::decibels(raw.cue, processed.cue);
    std::printf(
        "echo: raw voice %.4f cue %.4f; processed voice %.4f cue %.6f (strongest %.6f), "
        "all during the cue %.4f; reduction %.1f dB\n",
        raw.voiceAlone, raw.cue, processed.voiceAlone, processed.cue, processed.strongestCue, processed.duringCue,
        reductionDb);
    // The cue echoes into the raw microphone at about its own strength; the
    // canceller takes it out (55-95 dB here, busy or idle) and leaves the voice.
    // Even the window where it did worst keeps the echo well under the voice.
    EXPECT_GT(raw.cue, kCueAmplitude / 4);
    EXPECT_GT(reductionDb, 30.0);
    EXPECT_LT(processed.strongestCue, raw.voiceAlone / 2);
    EXPECT_GT(processed.voiceAlone, raw.voiceAlone / 2);
    EXPECT_GT(processed.duringCue, raw.voiceAlone / 2);
    EXPECT_LT(processed.duringCue, raw.voiceAlone * 2);

    auto volumeAfter = control->sourceVolume("microphone");
    ASSERT_TRUE(volumeAfter && *volumeAfter);
    EXPECT_EQ(**volumeAfter, **volumeBefore);
}

TEST_F(PulseAudioEngineTest, TheEchoCancellerLivesAsLongAsTheEngineThatLoadedIt) {
    auto engine = makeEngine();
    ASSERT_TRUE(engine->setVoiceProcessingEnabled(true));
    const auto source = engine->voiceProcessingSourceName();
    ASSERT_TRUE(source);
    const auto sink = playbackTarget->sinkName();
    ASSERT_TRUE(sink);
    EXPECT_TRUE(control->sourceIndex(*source));
    EXPECT_EQ(engine->inputFormat().channelCount, 1u);

    // Switching it off unloads it at once; on again loads a fresh one.
    ASSERT_TRUE(engine->setVoiceProcessingEnabled(false));
    EXPECT_EQ(playbackTarget->sinkName(), std::nullopt);
    EXPECT_FALSE(control->sourceIndex(*source));
    ASSERT_TRUE(engine->setVoiceProcessingEnabled(true));
    const auto second = engine->voiceProcessingSourceName();
    ASSERT_TRUE(second);

    engine.reset();
    EXPECT_EQ(playbackTarget->sinkName(), std::nullopt);
    EXPECT_FALSE(control->sourceIndex(*second));
}

TEST_F(PulseAudioEngineTest, BindingToADeviceRecordsThatSourceAndRefusesIdsOfNoSource) {
    auto microphone = control->sourceIndex("microphone");
    ASSERT_TRUE(microphone);
    auto other = control->loadModule("module-null-sink", "sink_name=binding_test rate=16000 channels=2");
    ASSERT_TRUE(other) << other.error().message;
    auto otherMonitor = control->sourceIndex("binding_test.monitor");
    ASSERT_TRUE(otherMonitor);

    auto engine = makeEngine();
    ASSERT_TRUE(engine->setCurrentInputDevice(pulseSourceDeviceID(*otherMonitor)));
    EXPECT_EQ(engine->inputFormat(), (AudioInputFormat{16'000, 2, AudioCommonFormat::float32, false}));
    ASSERT_TRUE(engine->setCurrentInputDevice(pulseSourceDeviceID(*microphone)));
    EXPECT_EQ(engine->inputFormat().sampleRate, kRate);

    for (AudioDeviceID refused : {AudioDeviceID{0}, pulseSinkDeviceID(0), pulseSourceDeviceID(100'000)}) {
        SCOPED_TRACE(refused);
        auto bound = engine->setCurrentInputDevice(refused);
        ASSERT_FALSE(bound);
        EXPECT_EQ(bound.error().domain, kPulseAudioErrorDomain);
        EXPECT_EQ(bound.error().code, kPulseAudioNoSuchDevice);
    }
    EXPECT_TRUE(control->unloadModule(*other));
}

TEST_F(PulseAudioEngineTest, TheRouteChangingUnderARunningCaptureIsAConfigurationChange) {
    struct Case {
        const char* what;
        bool voiceProcessing;
        bool bindToTestSource;
        bool testSourceIsDefault;
        // Unload the test source, or else make `microphone`/the test source
        // the default.
        bool unload;
    };
    const std::vector<Case> cases{
        {"the bound source goes", false, true, false, true},
        {"the default source goes", false, false, true, true},
        {"the default source changes", false, false, false, false},
        {"the default source changes under voice processing", true, false, false, false},
        {"the processed source goes", true, true, false, true},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Fresh names: the server unloads a module only after it acknowledged
        // the request, so the last round's names may still be taken.
        const auto mix = "route_test_mix_" + std::to_string(round);
        const auto microphone = "route_test_mic_" + std::to_string(round++);
        auto sink = control->loadModule("module-null-sink", "sink_name=" + mix + " rate=48000 channels=1");
        ASSERT_TRUE(sink) << sink.error().message;
        auto source = control->loadModule("module-remap-source",
                                          "source_name=" + microphone + " master=" + mix + ".monitor channels=1");
        ASSERT_TRUE(source) << source.error().message;
        auto index = control->sourceIndex(microphone);
        ASSERT_TRUE(index);
        if (c.testSourceIsDefault) {
            ASSERT_TRUE(control->setDefaultSource(microphone));
        }

        auto engine = makeEngine();
        ChangeLog changes;
        auto observation = engine->observeConfigurationChanges(changes.handler());
        if (c.bindToTestSource) {
            ASSERT_TRUE(engine->setCurrentInputDevice(pulseSourceDeviceID(*index)));
        }
        if (c.voiceProcessing) {
            ASSERT_TRUE(engine->setVoiceProcessingEnabled(true));
        }
        TapLog log;
        startCapture(*engine, log);
        ASSERT_TRUE(log.waitForCount(3));
        EXPECT_EQ(changes.count(), 0);

        if (c.unload) {
            ASSERT_TRUE(control->unloadModule(*source));
        } else {
            ASSERT_TRUE(control->setDefaultSource(microphone));
        }
        EXPECT_TRUE(changes.waitForOne());
        EXPECT_FALSE(engine->isRunning());
        // Nothing is delivered once the route changed.
        const auto delivered = log.count();
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(log.count(), delivered);

        engine->stop();
        engine->removeTap();
        observation.reset();
        engine.reset();
        ASSERT_TRUE(control->setDefaultSource("microphone"));
        if (!c.unload) {
            ASSERT_TRUE(control->unloadModule(*source));
        }
        ASSERT_TRUE(control->unloadModule(*sink));
    }
}

TEST_F(PulseAudioEngineTest, ASuspendedSourceDeliversNothingUntilItResumesAndChangesNoRoute) {
    auto tone = feedTone();
    ASSERT_TRUE(tone);
    auto engine = makeEngine();
    ChangeLog changes;
    auto observation = engine->observeConfigurationChanges(changes.handler());
    TapLog log;
    startCapture(*engine, log);
    ASSERT_TRUE(log.waitForCount(5));

    ASSERT_TRUE(control->suspendSource("microphone", true));
    // What was under way when the source went to sleep may still come.
    std::this_thread::sleep_for(200ms);
    const auto whileSuspended = log.count();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(log.count(), whileSuspended);
    EXPECT_TRUE(engine->isRunning());

    ASSERT_TRUE(control->suspendSource("microphone", false));
    EXPECT_TRUE(log.waitForCount(whileSuspended + 5));
    EXPECT_EQ(changes.count(), 0);
    engine->stop();
}

// The dictation capture on the real engine: a source that goes silent under
// it is what its watchdog exists for. Before the first buffer the watchdog
// waits 3 s, after audio has flowed 5 s; either way one failure reaches the
// main loop, and it is not mistaken for a route change.
TEST_F(PulseAudioEngineTest, TheCapturesWatchdogReportsASuspendedMicrophoneOnce) {
    struct Case {
        const char* name;
        bool suspendBeforeStart;
        const char* failure;
    };
    for (const Case& c : {Case{"suspended while capturing", false, "audio_interrupted"},
                          Case{"suspended before the start", true, "no_audio_buffers"}}) {
        SCOPED_TRACE(c.name);
        auto tone = feedTone();
        ASSERT_TRUE(tone);
        ManualLoop main;
        auto devices = PulseAudioDevices::create(engineContext, kWait);
        ASSERT_TRUE(devices) << devices.error().message;
        auto capture = VoiceProcessingAudioCapture::create(
            {std::make_shared<PulseAudioEngineFactory>(engineContext, playbackTarget), *devices,
             std::make_shared<PulseMicrophonePermission>(main, *devices), main, nullptr, nullptr});
        ASSERT_TRUE(capture->prepare(NativeAudioCaptureMode::raw, std::nullopt));
        if (c.suspendBeforeStart) {
            ASSERT_TRUE(control->suspendSource("microphone", true));
        }

        std::atomic<int> chunks{0};
        std::vector<std::string> failures;
        ASSERT_TRUE(capture->start(
            [&](AudioChunk) { ++chunks; },
            [&](const VoiceProcessingAudioCaptureError& error) { failures.emplace_back(error.code()); }));
        if (!c.suspendBeforeStart) {
            ASSERT_TRUE(main.pumpUntil([&] { return chunks >= 5; }, kWait));
            ASSERT_TRUE(control->suspendSource("microphone", true));
        }
        EXPECT_TRUE(main.pumpUntil([&] { return !failures.empty(); }, 10s));
        // One report, however often the watchdog looks after it.
        main.pumpUntil([] { return false; }, 1s);
        EXPECT_EQ(failures, std::vector<std::string>{c.failure});
        capture->stop();
        ASSERT_TRUE(control->suspendSource("microphone", false));
    }
}

TEST_F(PulseAudioEngineTest, StopWaitsForARunningTapAndNothingArrivesAfterIt) {
    auto engine = makeEngine();
    const auto format = engine->inputFormat();
    std::mutex mutex;
    std::condition_variable entered;
    bool inTap = false;
    bool tapEntered = false;
    int callsAfterStop = 0;
    bool stopped = false;
    engine->installTap(framesFor40ms(format.sampleRate), format, [&](const AudioPCMBuffer&) {
        {
            std::lock_guard lock(mutex);
            if (stopped) ++callsAfterStop;
            inTap = true;
            tapEntered = true;
            entered.notify_all();
        }
        std::this_thread::sleep_for(100ms);
        std::lock_guard lock(mutex);
        inTap = false;
    });
    ASSERT_TRUE(engine->start());
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(entered.wait_for(lock, kWait, [&] { return tapEntered; }));
    }
    engine->stop();
    {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(inTap);
        stopped = true;
    }
    EXPECT_FALSE(engine->isRunning());
    std::this_thread::sleep_for(200ms);
    std::lock_guard lock(mutex);
    EXPECT_EQ(callsAfterStop, 0);
}

}  // namespace
}  // namespace murmo
