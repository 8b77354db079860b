#include "platform/linux/EspeakSpeechSynthesizer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/linux/EspeakSpeechSynthesizerEngine.h"
#include "platform/linux/EspeakSpeechSynthesizerRate.h"
#include "platform/linux/EspeakSpeechSynthesizerVoices.h"
#include "platform/linux/PulseAudioContext.h"
#include "platform/linux/PulseAudioPlayback.h"
#include "platform/linux/PulseAudioPlaybackTarget.h"

namespace murmo {

// What the main thread, the engine's thread and the connection's loop thread
// share. Each utterance has a number; a stop or a newer utterance moves the
// current number on, and work for an older one stops where it sees that.
struct EspeakSpeechSynthesizer::Shared {
    MainLoop& mainLoop;
    std::shared_ptr<PulseAudioContext> context;
    std::shared_ptr<const PulseAudioPlaybackTarget> target;

    std::atomic<std::uint64_t> current{0};
    std::mutex mutex;
    std::condition_variable superseded;
    std::shared_ptr<PulseAudioPlayback> playback;  // guarded by mutex

    // Main thread only.
    bool speaking = false;
    Timer postUtteranceDelay;

    Shared(MainLoop& loop, std::shared_ptr<PulseAudioContext> connection,
           std::shared_ptr<const PulseAudioPlaybackTarget> playbackTarget)
        : mainLoop(loop), context(std::move(connection)), target(std::move(playbackTarget)) {}

    bool isCurrent(std::uint64_t utterance) const { return current.load() == utterance; }

    // Any thread: tells the main thread the utterance's sound has ended.
    static void reportEnded(const std::weak_ptr<Shared>& weak, MainLoop& loop, std::uint64_t utterance,
                            Duration postDelay) {
        loop.post([weak, utterance, postDelay] {
            if (auto shared = weak.lock()) shared->ended(utterance, postDelay);
        });
    }

    // Main thread.
    void ended(std::uint64_t utterance, Duration postDelay) {
        if (!isCurrent(utterance)) return;
        releasePlayback();
        if (postDelay <= Duration::zero()) {
            speaking = false;
            return;
        }
        postUtteranceDelay = mainLoop.after(postDelay, [this, utterance] {
            if (isCurrent(utterance)) speaking = false;
        });
    }

    // Main thread: whatever is under way stops now; returns the next number.
    std::uint64_t supersede() {
        const std::uint64_t next = current.fetch_add(1) + 1;
        {
            std::lock_guard lock(mutex);
            superseded.notify_all();
        }
        if (auto playback = releasePlayback()) playback->stop();
        postUtteranceDelay.cancel();
        speaking = false;
        return next;
    }

    std::shared_ptr<PulseAudioPlayback> releasePlayback() {
        std::lock_guard lock(mutex);
        return std::exchange(playback, nullptr);
    }

    // Engine thread: waits out the delay; false when superseded meanwhile.
    bool waitUnlessSuperseded(std::uint64_t utterance, Duration delay) {
        std::unique_lock lock(mutex);
        superseded.wait_for(lock, delay, [&] { return !isCurrent(utterance); });
        return isCurrent(utterance);
    }

    // Engine thread: the utterance's stream, kept where a stop finds it.
    std::shared_ptr<PulseAudioPlayback> openPlayback(const std::weak_ptr<Shared>& weak, std::uint64_t utterance,
                                                     std::uint32_t sampleRate, Duration postDelay) {
        if (!context) return nullptr;
        const pa_sample_spec format{PA_SAMPLE_S16NE, sampleRate, 1};
        MainLoop& loop = mainLoop;
        auto opened = PulseAudioPlayback::open(
            context, target ? target->sinkName() : std::nullopt, format,
            [weak, &loop, utterance, postDelay] { reportEnded(weak, loop, utterance, postDelay); });
        if (!opened) return nullptr;
        std::shared_ptr<PulseAudioPlayback> opening = std::move(*opened);
        std::lock_guard lock(mutex);
        if (!isCurrent(utterance)) return nullptr;
        playback = opening;
        return opening;
    }
};

namespace {

struct UtteranceJob {
    std::uint64_t number;
    EspeakSynthesisRequest request;
    Duration preDelay;
    Duration postDelay;
};

// On the engine's thread.
void sayUtterance(EspeakSpeechSynthesizerEngine& engine, const std::weak_ptr<EspeakSpeechSynthesizer::Shared>& weak,
                  const UtteranceJob& job) {
    auto shared = weak.lock();
    if (!shared || !shared->isCurrent(job.number)) return;
    if (job.preDelay > Duration::zero() && !shared->waitUnlessSuperseded(job.number, job.preDelay)) return;
    auto playback = shared->openPlayback(weak, job.number, engine.sampleRate(), job.postDelay);
    if (!playback) {
        if (shared->isCurrent(job.number)) {
            EspeakSpeechSynthesizer::Shared::reportEnded(weak, shared->mainLoop, job.number, job.postDelay);
        }
        return;
    }
    const auto& state = *shared;
    (void)engine.synthesize(job.request, [&](std::span<const std::int16_t> samples) {
        if (!state.isCurrent(job.number)) return false;
        playback->append(std::as_bytes(samples));
        return true;
    });
    // After a failed synthesis too: what was said drains, and the end is reported.
    playback->finish();
}

}  // namespace

Result<std::unique_ptr<EspeakSpeechSynthesizer>> EspeakSpeechSynthesizer::create(
    MainLoop& mainLoop, std::shared_ptr<PulseAudioContext> context,
    std::shared_ptr<const PulseAudioPlaybackTarget> target) {
    auto engine = EspeakSpeechSynthesizerEngine::start();
    if (!engine) return fail(engine.error());
    auto shared = std::make_shared<Shared>(mainLoop, std::move(context), std::move(target));
    return std::unique_ptr<EspeakSpeechSynthesizer>(new EspeakSpeechSynthesizer(std::move(shared), std::move(*engine)));
}

EspeakSpeechSynthesizer::EspeakSpeechSynthesizer(std::shared_ptr<Shared> shared,
                                                 std::unique_ptr<EspeakSpeechSynthesizerEngine> engine)
    : shared_(std::move(shared)), engine_(std::move(engine)) {}

EspeakSpeechSynthesizer::~EspeakSpeechSynthesizer() {
    shared_->supersede();
    // Joins the engine's thread while the shared state still lives.
    engine_.reset();
}

bool EspeakSpeechSynthesizer::isSpeaking() const { return shared_->speaking; }

void EspeakSpeechSynthesizer::speak(SpeechUtterance utterance) {
    const std::uint64_t number = shared_->supersede();
    shared_->speaking = true;
    UtteranceJob job{number,
                     {std::move(utterance.text), utterance.voiceIdentifier.value_or(std::string()),
                      espeakWordsPerMinute(utterance.rate)},
                     utterance.preUtteranceDelay,
                     utterance.postUtteranceDelay};
    engine_->post([engine = engine_.get(), weak = std::weak_ptr<Shared>(shared_), job = std::move(job)] {
        sayUtterance(*engine, weak, job);
    });
}

void EspeakSpeechSynthesizer::stopSpeakingImmediately() { shared_->supersede(); }

std::optional<std::string> EspeakSpeechSynthesizer::voiceWithIdentifier(std::string_view identifier) const {
    return engine_->voices().withIdentifier(identifier);
}

std::optional<std::string> EspeakSpeechSynthesizer::voiceForLanguage(std::string_view language) const {
    return engine_->voices().forLanguage(language);
}

}  // namespace murmo
