#include "platform/linux/PulseAudioCuePlayer.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <numbers>
#include <thread>

#include "platform/linux/PulseAudioContext.h"
#include "platform/linux/PulseAudioCuePlayerFactory.h"
#include "platform/linux/PulseAudioPlaybackTarget.h"
#include "platform/linux/SndfileSound.h"
#include "support/TemporaryDirectory.h"
#include "support/pulse/AudioSignals.h"
#include "support/pulse/PulseSourceRecorder.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::PulseSourceRecorder;

// What the speakers' monitor is recorded at.
constexpr std::uint32_t kMonitorRate = 48000;
using testing::TemporaryDirectory;
namespace fs = std::filesystem;

const fs::path kSounds = fs::path(MURMO_SOURCE_DIR) / "resources/Sounds";
constexpr float kHeard = 0.005f;

// A sine tone, written with the same library that reads it.
void writeTone(const fs::path& file, int sampleRate, int channels, Duration length, float amplitude = 0.5f) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* handle = sf_open(file.c_str(), SFM_WRITE, &info);
    ASSERT_NE(handle, nullptr) << sf_strerror(nullptr);
    const auto frames = static_cast<std::size_t>(Seconds(length).count() * sampleRate);
    std::vector<float> samples(frames * static_cast<std::size_t>(channels));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < channels; ++channel) {
            samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)] =
                amplitude * static_cast<float>(std::sin(
                                2 * std::numbers::pi * 440.0 * static_cast<double>(frame) / sampleRate + channel));
        }
    }
    sf_writef_float(handle, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(handle);
}

TEST(SndfileSoundTest, DecodesEveryFrameOfEachChannel) {
    TemporaryDirectory folder;
    const auto file = folder.path() / "stereo.wav";
    writeTone(file, 22050, 2, 250ms);
    const auto sound = SndfileSound::decode(file);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->sampleRate(), 22050u);
    EXPECT_EQ(sound->channels(), 2u);
    EXPECT_EQ(sound->frameCount(), 5512u);
    // 16-bit quantisation of the written tone; the channels differ by phase.
    EXPECT_NEAR(sound->samples()[2 * 100], 0.5f * std::sin(2 * std::numbers::pi * 440.0 * 100 / 22050), 1e-4);
    EXPECT_NEAR(sound->samples()[2 * 100 + 1], 0.5f * std::sin(2 * std::numbers::pi * 440.0 * 100 / 22050 + 1), 1e-4);
}

TEST(SndfileSoundTest, MissingEmptyOrCorruptFilesGiveNoSoundAndNoPlayer) {
    TemporaryDirectory folder;
    folder.writeFile("garbage.wav", std::string(4096, 'x'));
    folder.writeFile("header-only.wav", std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16));
    folder.writeFile("empty.wav", "");
    writeTone(folder.path() / "no-frames.wav", 16000, 1, 0ms);
    PulseAudioCuePlayerFactory factory(nullptr, nullptr);
    for (const char* name : {"missing.wav", "garbage.wav", "header-only.wav", "empty.wav", "no-frames.wav"}) {
        EXPECT_FALSE(SndfileSound::decode(folder.path() / name)) << name;
        EXPECT_EQ(factory.makePlayer(folder.path() / name), nullptr) << name;
    }
    EXPECT_NE(factory.makePlayer(kSounds / "dictation-start.wav"), nullptr);
}

TEST(PulseAudioCuePlayerTest, WithoutAServerAPlayerRefusesToPlay) {
    PulseAudioCuePlayerFactory factory(nullptr, nullptr);
    auto player = factory.makePlayer(kSounds / "dictation-start.wav");
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->prepareToPlay());
    EXPECT_FALSE(player->play());
    EXPECT_FALSE(player->isPlaying());
}

class PulseAudioCuePlayerSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto connected = PulseAudioContext::connect("murmo-cue-test", 5s);
        ASSERT_TRUE(connected) << connected.error().message;
        context = *connected;
        factory = std::make_unique<PulseAudioCuePlayerFactory>(context, target);
        auto recording = PulseSourceRecorder::record(context, "speakers.monitor", kMonitorRate);
        ASSERT_TRUE(recording) << recording.error().message;
        monitor = std::move(*recording);
        // The idle speakers render late at first.
        ASSERT_TRUE(monitor->waitForSamples(kMonitorRate / 10, 5s)) << "the speakers' monitor is silent";
    }

    // Plays and waits for the player to report the end; the recording of
    // what the speakers played meanwhile, with some silence after.
    std::vector<float> playAndRecord(CuePlayer& player) {
        const std::size_t from = monitor->sampleCount();
        EXPECT_TRUE(player.play());
        EXPECT_TRUE(player.isPlaying());
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (player.isPlaying() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
        EXPECT_FALSE(player.isPlaying()) << "still playing after 5 s";
        monitor->waitForSamples(kMonitorRate / 5, 5s);
        const auto samples = monitor->samples();
        return {samples.begin() + static_cast<std::ptrdiff_t>(from), samples.end()};
    }

    std::shared_ptr<PulseAudioContext> context;
    std::shared_ptr<PulseAudioPlaybackTarget> target = std::make_shared<PulseAudioPlaybackTarget>();
    std::unique_ptr<PulseAudioCuePlayerFactory> factory;
    std::unique_ptr<PulseSourceRecorder> monitor;
};

TEST_F(PulseAudioCuePlayerSessionTest, EachCueIsHeardOnceOnTheSpeakersAndLouderAtAHigherVolume) {
    for (const char* name : {"dictation-start.wav", "dictation-success.wav", "dictation-error.wav"}) {
        auto player = factory->makePlayer(kSounds / name);
        ASSERT_NE(player, nullptr) << name;
        player->setVolume(1.0f);
        const auto loud = playAndRecord(*player);
        EXPECT_EQ(testing::soundCount(loud, kHeard, monitor->loudnessWindow()), 1u) << name;
        player->setVolume(0.25f);
        const auto quiet = playAndRecord(*player);
        EXPECT_EQ(testing::soundCount(quiet, kHeard / 4, monitor->loudnessWindow()), 1u) << name;
        const double ratio = std::sqrt(testing::energy(quiet) / testing::energy(loud));
        EXPECT_NEAR(ratio, 0.25, 0.05) << name;
    }
}

TEST_F(PulseAudioCuePlayerSessionTest, StopEndsTheSoundAndPlayRestartsItFromTheCurrentTime) {
    TemporaryDirectory folder;
    writeTone(folder.path() / "long.wav", 48000, 1, 3s);
    auto player = factory->makePlayer(folder.path() / "long.wav");
    ASSERT_NE(player, nullptr);
    const std::size_t from = monitor->sampleCount();
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(monitor->waitForSound(from, kHeard, 2s)) << "the tone was not heard";
    player->stop();
    EXPECT_FALSE(player->isPlaying());
    // Whatever was in flight plays out within a few tens of milliseconds; the
    // tone itself would go on for seconds.
    monitor->waitForSamples(kMonitorRate / 2, 5s);
    auto samples = monitor->samples();
    const std::span<const float> tail(samples.end() - kMonitorRate / 4, samples.end());
    EXPECT_LT(testing::rms(tail), kHeard / 10) << "still sounding after stop()";

    // A current time past the end leaves nothing to play.
    player->setCurrentTime(10s);
    EXPECT_FALSE(player->play());
    player->setCurrentTime(2900ms);
    const auto end = playAndRecord(*player);
    const auto heardFrames =
        static_cast<double>(std::ranges::count_if(end, [](float s) { return std::abs(s) > 0.05f; }));
    EXPECT_LT(heardFrames, 0.15 * kMonitorRate) << "only the last 100 ms play";
    EXPECT_GT(heardFrames, 0.02 * kMonitorRate);
}

TEST_F(PulseAudioCuePlayerSessionTest, PlaysIntoThePlaybackTargetsSink) {
    auto module = context->run("loading a second sink", 5s, [](pa_context* c) {
        return pa_context_load_module(
            c, "module-null-sink", "sink_name=elsewhere", [](pa_context*, std::uint32_t, void*) {}, nullptr);
    });
    ASSERT_TRUE(module) << module.error().message;
    auto recording = PulseSourceRecorder::record(context, "elsewhere.monitor", kMonitorRate);
    ASSERT_TRUE(recording) << recording.error().message;
    auto& elsewhere = **recording;
    ASSERT_TRUE(elsewhere.waitForSamples(kMonitorRate / 10, 5s));
    target->set("elsewhere");
    auto player = factory->makePlayer(kSounds / "dictation-start.wav");
    ASSERT_NE(player, nullptr);
    const std::size_t from = elsewhere.sampleCount();
    const auto onSpeakers = playAndRecord(*player);
    EXPECT_TRUE(elsewhere.waitForSound(from, kHeard, 2s)) << "not heard on the target's sink";
    EXPECT_EQ(testing::soundCount(onSpeakers, kHeard, monitor->loudnessWindow()), 0u) << "heard on the default sink";
}

}  // namespace
}  // namespace murmo
