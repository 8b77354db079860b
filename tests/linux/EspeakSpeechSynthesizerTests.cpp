#include "platform/linux/EspeakSpeechSynthesizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>

#include "platform/linux/EspeakSpeechSynthesizerEngine.h"
#include "platform/linux/EspeakSpeechSynthesizerRate.h"
#include "platform/linux/EspeakSpeechSynthesizerVoices.h"
#include "platform/linux/PulseAudioContext.h"
#include "platform/linux/PulseAudioPlaybackTarget.h"
#include "runtime/ThreadLoop.h"
#include "support/pulse/AudioSignals.h"
#include "support/pulse/PulseSourceRecorder.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::PulseSourceRecorder;

// What the speakers' monitor is recorded at.
constexpr std::uint32_t kMonitorRate = 48000;

constexpr float kHeard = 0.005f;

// MARK: choosing a voice and a pace

EspeakSpeechSynthesizerVoices voiceTable() {
    return EspeakSpeechSynthesizerVoices({
        {"gmw/en-029", "English (Caribbean)", {{5, "en-029"}, {10, "en"}}},
        {"gmw/en", "English (Great Britain)", {{2, "en-gb"}, {2, "en"}}},
        {"gmw/en-US", "English (America)", {{2, "en-us"}, {3, "en"}}},
        {"roa/pt-BR", "Portuguese (Brazil)", {{5, "pt-br"}}},
        {"trk/tr", "Turkish", {{5, "tr"}}},
    });
}

TEST(EspeakSpeechSynthesizerVoicesTest, ALanguageOrLocalePicksTheBestFittingVoice) {
    const auto voices = voiceTable();
    const std::pair<std::string_view, std::optional<std::string>> cases[] = {
        {"en_US", "gmw/en-US"},    {"en-US", "gmw/en-US"}, {"EN_us", "gmw/en-US"}, {"en", "gmw/en"},
        {"en_GB", "gmw/en"},       {"en_AU", "gmw/en"},    {"tr", "trk/tr"},       {"tr_TR", "trk/tr"},
        {"tr_TR.UTF-8", "trk/tr"}, {"pt", "roa/pt-BR"},    {"de", std::nullopt},   {"", std::nullopt},
        {"_US", std::nullopt},     {"C", std::nullopt},
    };
    for (const auto& [language, expected] : cases) {
        EXPECT_EQ(voices.forLanguage(language), expected) << language;
    }
    EXPECT_EQ(voices.withIdentifier("trk/tr"), "trk/tr");
    EXPECT_EQ(voices.withIdentifier("com.apple.voice.Yelda"), std::nullopt);
}

TEST(EspeakSpeechSynthesizerRateTest, MapsToWordsPerMinuteAroundTheNormalPace) {
    const std::pair<float, int> cases[] = {
        {0.0f, 80},  {0.25f, 128}, {0.5f, 175}, {0.65f, 257},
        {1.0f, 450}, {-1.0f, 80},  {2.0f, 450}, {std::numeric_limits<float>::quiet_NaN(), 175},
    };
    for (const auto& [rate, wordsPerMinute] : cases) EXPECT_EQ(espeakWordsPerMinute(rate), wordsPerMinute) << rate;
}

// MARK: the library

TEST(EspeakSpeechSynthesizerEngineTest, OneEngineAtATimeWithEnglishAndTurkishVoices) {
    auto engine = EspeakSpeechSynthesizerEngine::start();
    ASSERT_TRUE(engine) << engine.error().message;
    EXPECT_EQ((*engine)->sampleRate(), 22050u);
    EXPECT_EQ((*engine)->voices().forLanguage("en_US"), "gmw/en-US");
    EXPECT_EQ((*engine)->voices().forLanguage("tr"), "trk/tr");

    auto second = EspeakSpeechSynthesizerEngine::start();
    EXPECT_FALSE(second) << "the library's state is global";
    engine->reset();
    EXPECT_TRUE(EspeakSpeechSynthesizerEngine::start()) << "free again once the first has gone";
}

TEST(EspeakSpeechSynthesizerEngineTest, TheSinkStopsTheSynthesisAndAFasterPaceIsShorter) {
    auto engine = EspeakSpeechSynthesizerEngine::start();
    ASSERT_TRUE(engine) << engine.error().message;
    const std::string text = "This sentence is long enough to take several seconds to say at any pace at all.";
    auto samplesAt = [&](int wordsPerMinute, std::size_t stopAfter) {
        std::promise<std::pair<Status, std::size_t>> done;
        (*engine)->post([&] {
            std::size_t samples = 0;
            auto status = (*engine)->synthesize({text, "gmw/en-US", wordsPerMinute}, [&](auto piece) {
                samples += piece.size();
                return samples < stopAfter;
            });
            done.set_value({status, samples});
        });
        return done.get_future().get();
    };
    const auto [normalStatus, normal] = samplesAt(175, std::numeric_limits<std::size_t>::max());
    ASSERT_TRUE(normalStatus);
    const auto [fastStatus, fast] = samplesAt(350, std::numeric_limits<std::size_t>::max());
    EXPECT_LT(fast, normal * 3 / 4);
    const auto [stoppedStatus, stopped] = samplesAt(175, 2205);
    EXPECT_LT(stopped, normal / 4) << "the synthesis went on after the sink said stop";
}

// MARK: speaking through the session's speakers

class EspeakSpeechSynthesizerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto connected = PulseAudioContext::connect("murmo-speech-test", 5s);
        ASSERT_TRUE(connected) << connected.error().message;
        context = *connected;
        auto created = EspeakSpeechSynthesizer::create(loop, context, target);
        ASSERT_TRUE(created) << created.error().message;
        synthesizer = std::move(*created);
        auto recording = PulseSourceRecorder::record(context, "speakers.monitor", kMonitorRate);
        ASSERT_TRUE(recording) << recording.error().message;
        monitor = std::move(*recording);
        ASSERT_TRUE(monitor->waitForSamples(kMonitorRate / 10, 5s)) << "the speakers' monitor is silent";
    }

    // Runs the main loop until `done` holds or `timeout` passes.
    template <class Condition>
    bool runUntil(Condition done, Duration timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        Timer poll = loop.every(2ms, [&] {
            if (done() || std::chrono::steady_clock::now() > deadline) loop.quit();
        });
        loop.run();
        return done();
    }

    void sayAndHear(std::string text, std::string_view language) {
        const auto voice = synthesizer->voiceForLanguage(language);
        ASSERT_TRUE(voice) << language;
        const std::size_t from = monitor->sampleCount();
        synthesizer->speak({.text = std::move(text), .voiceIdentifier = voice});
        EXPECT_TRUE(synthesizer->isSpeaking());
        EXPECT_TRUE(runUntil([&] { return !synthesizer->isSpeaking(); }, 20s)) << "never ended";
        monitor->waitForSamples(kMonitorRate / 10, 5s);
        const auto samples = monitor->samples();
        const std::span<const float> heard(samples.begin() + static_cast<std::ptrdiff_t>(from), samples.end());
        EXPECT_GT(testing::rms(heard), kHeard) << language;
        // Speech pauses between words, but a sentence is heard for a while.
        const auto loudFrames = std::ranges::count_if(heard, [](float s) { return std::abs(s) > 0.02f; });
        EXPECT_GT(loudFrames, static_cast<std::ptrdiff_t>(kMonitorRate / 4)) << language;
    }

    ThreadLoop loop;
    std::shared_ptr<PulseAudioContext> context;
    std::shared_ptr<PulseAudioPlaybackTarget> target = std::make_shared<PulseAudioPlaybackTarget>();
    std::unique_ptr<EspeakSpeechSynthesizer> synthesizer;
    std::unique_ptr<PulseSourceRecorder> monitor;
};

TEST_F(EspeakSpeechSynthesizerTest, EnglishAndTurkishSentencesAreHeardAndSpeakingEndsWithTheSound) {
    sayAndHear("The meeting moved to Thursday afternoon.", "en_US");
    sayAndHear("Toplantı perşembe öğleden sonraya taşındı.", "tr");
    EXPECT_FALSE(synthesizer->isPaused());
}

TEST_F(EspeakSpeechSynthesizerTest, StoppingMidSentenceSilencesTheSpeakersAtOnce) {
    const std::size_t from = monitor->sampleCount();
    synthesizer->speak({.text = "This is a long answer that would go on for many seconds, sentence after sentence, "
                                "if nothing stopped it before its end, and then it would go on some more.",
                        .voiceIdentifier = synthesizer->voiceForLanguage("en")});
    ASSERT_TRUE(monitor->waitForSound(from, kHeard, 5s)) << "the speech was not heard";
    synthesizer->stopSpeakingImmediately();
    EXPECT_FALSE(synthesizer->isSpeaking());
    // What was in flight plays out within tens of milliseconds; the answer
    // itself would go on for about ten seconds.
    monitor->waitForSamples(kMonitorRate / 2, 5s);
    const auto samples = monitor->samples();
    const std::span<const float> tail(samples.end() - kMonitorRate / 4, samples.end());
    EXPECT_LT(testing::rms(tail), kHeard / 10) << "still speaking after the stop";
    // A late report of the stopped utterance's end changes nothing.
    EXPECT_FALSE(runUntil([&] { return synthesizer->isSpeaking(); }, 200ms));
}

TEST_F(EspeakSpeechSynthesizerTest, ANewUtteranceReplacesTheOneBeingSaid) {
    synthesizer->speak({.text = "This first answer is long and must never be heard to its end, however long it is.",
                        .voiceIdentifier = std::nullopt});
    synthesizer->speak({.text = "Second.", .voiceIdentifier = std::nullopt, .rate = 0.65f});
    EXPECT_TRUE(runUntil([&] { return !synthesizer->isSpeaking(); }, 5s))
        << "speaking lasts as long as the short second answer";
}

TEST_F(EspeakSpeechSynthesizerTest, DelaysHoldTheSpeechBackAndKeepItSpeaking) {
    const std::size_t from = monitor->sampleCount();
    const auto start = std::chrono::steady_clock::now();
    synthesizer->speak(
        {.text = "Hi.", .voiceIdentifier = std::nullopt, .preUtteranceDelay = 400ms, .postUtteranceDelay = 400ms});
    const auto heardAt = monitor->waitForSound(from, kHeard, 5s);
    ASSERT_TRUE(heardAt);
    EXPECT_GE(monitor->arrivalOf(*heardAt) - start, 400ms);
    ASSERT_TRUE(runUntil([&] { return !synthesizer->isSpeaking(); }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - monitor->arrivalOf(*heardAt), 400ms);
}

TEST_F(EspeakSpeechSynthesizerTest, OnlyOneSynthesizerPerProcess) {
    auto second = EspeakSpeechSynthesizer::create(loop, context, target);
    EXPECT_FALSE(second);
}

}  // namespace
}  // namespace murmo
