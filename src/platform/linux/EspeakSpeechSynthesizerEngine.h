#pragma once

// The speech library, run on one thread of its own. The library keeps its
// state in globals, so one engine at most exists in the process at a time,
// and every call into the library happens on the engine's thread. The first
// engine initialises the library for the life of the process (a library
// terminated and initialised again hangs when terminated the second time).

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/linux/EspeakSpeechSynthesizerVoices.h"
#include "runtime/Error.h"
#include "runtime/WorkerThread.h"

namespace murmo {

inline constexpr std::string_view kEspeakErrorDomain = "MurmoEspeak";

struct EspeakSynthesisRequest {
    std::string text;             // UTF-8
    std::string voiceIdentifier;  // empty or unknown: the library's default voice
    int wordsPerMinute = 175;
};

class EspeakSpeechSynthesizerEngine {
public:
    // Receives each piece of synthesised audio (mono, signed 16-bit, at
    // sampleRate()); false stops the synthesis at once.
    using AudioSink = std::function<bool(std::span<const std::int16_t>)>;

    // Starts the thread and initialises the library on it. Fails when an
    // engine already exists or the library cannot find its data.
    static Result<std::unique_ptr<EspeakSpeechSynthesizerEngine>> start();
    // Runs what was posted (a synthesis stopped by its sink ends at once),
    // then frees the library for the next engine.
    ~EspeakSpeechSynthesizerEngine();
    EspeakSpeechSynthesizerEngine(const EspeakSpeechSynthesizerEngine&) = delete;
    EspeakSpeechSynthesizerEngine& operator=(const EspeakSpeechSynthesizerEngine&) = delete;

    // Read once at start; any thread.
    const EspeakSpeechSynthesizerVoices& voices() const { return voices_; }
    std::uint32_t sampleRate() const { return sampleRate_; }

    // Any thread: runs `job` on the engine's thread, after the jobs before it.
    void post(WorkerThread::Job job) { thread_.post(std::move(job)); }
    // The engine's thread only. Synthesises the whole request, handing the
    // audio to `sink` as it comes; fails when no voice can be loaded or the
    // library refuses the text.
    Status synthesize(const EspeakSynthesisRequest& request, const AudioSink& sink);

private:
    // The claim on the library's globals: released last, once the thread has
    // joined.
    struct LibraryClaim {
        ~LibraryClaim();
    };

    EspeakSpeechSynthesizerEngine() = default;

    LibraryClaim claim_;
    EspeakSpeechSynthesizerVoices voices_;
    std::uint32_t sampleRate_ = 0;
    WorkerThread thread_;
};

}  // namespace murmo
