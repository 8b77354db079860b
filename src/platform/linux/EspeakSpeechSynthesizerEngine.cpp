#include "platform/linux/EspeakSpeechSynthesizerEngine.h"

#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <cstring>
#include <future>

namespace murmo {

namespace {

// What the library itself loads when given no voice.
constexpr const char* kDefaultVoice = "en";

// The library's globals belong to the one engine that holds this.
std::atomic<bool> engineExists{false};

// The sink of the synthesis running on the engine's thread; the library's
// callback is a plain function.
thread_local const EspeakSpeechSynthesizerEngine::AudioSink* currentSink = nullptr;

int onSynthesizedAudio(short* samples, int count, espeak_EVENT*) {
    if (!samples || count <= 0 || !currentSink) return 0;
    const bool goOn = (*currentSink)(std::span<const std::int16_t>(samples, static_cast<std::size_t>(count)));
    return goOn ? 0 : 1;
}

// The library is initialised once and kept for the process: terminating it
// and initialising it again makes its next termination hang. Only the one
// engine's thread calls this.
int initialisedLibraryRate() {
    static int rate = 0;
    if (rate <= 0) {
        // Without DONT_EXIT the library ends the process when its data is missing.
        rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (rate > 0) espeak_SetSynthCallback(onSynthesizedAudio);
    }
    return rate;
}

std::vector<EspeakVoiceLanguage> languagesOf(const espeak_VOICE& voice) {
    // Pairs of a priority byte and a zero-terminated tag, up to an empty tag.
    std::vector<EspeakVoiceLanguage> languages;
    const char* cursor = voice.languages;
    while (cursor && *cursor) {
        const int priority = static_cast<unsigned char>(*cursor++);
        std::string tag(cursor);
        cursor += tag.size() + 1;
        languages.push_back({priority, std::move(tag)});
    }
    return languages;
}

EspeakSpeechSynthesizerVoices listVoices() {
    std::vector<EspeakVoice> voices;
    const espeak_VOICE** list = espeak_ListVoices(nullptr);
    for (; list && *list; ++list) {
        const espeak_VOICE& voice = **list;
        if (!voice.identifier) continue;
        voices.push_back({voice.identifier, voice.name ? voice.name : voice.identifier, languagesOf(voice)});
    }
    return EspeakSpeechSynthesizerVoices(std::move(voices));
}

}  // namespace

Result<std::unique_ptr<EspeakSpeechSynthesizerEngine>> EspeakSpeechSynthesizerEngine::start() {
    if (engineExists.exchange(true)) {
        return fail(std::string(kEspeakErrorDomain), 1, "another speech engine is running in this process");
    }
    std::unique_ptr<EspeakSpeechSynthesizerEngine> engine(new EspeakSpeechSynthesizerEngine());
    std::promise<int> initialised;
    engine->post([&initialised, self = engine.get()] {
        const int rate = initialisedLibraryRate();
        if (rate > 0) {
            self->voices_ = listVoices();
            self->sampleRate_ = static_cast<std::uint32_t>(rate);
        }
        initialised.set_value(rate);
    });
    if (const int rate = initialised.get_future().get(); rate <= 0 || engine->voices_.all().empty()) {
        return fail(std::string(kEspeakErrorDomain), 2, "the speech library found no voice data");
    }
    return engine;
}

EspeakSpeechSynthesizerEngine::LibraryClaim::~LibraryClaim() { engineExists.store(false); }

EspeakSpeechSynthesizerEngine::~EspeakSpeechSynthesizerEngine() = default;

Status EspeakSpeechSynthesizerEngine::synthesize(const EspeakSynthesisRequest& request, const AudioSink& sink) {
    // The voice stays loaded between calls: an utterance without one must not
    // inherit the one before it.
    // An unknown one falls back to the default.
    const bool loaded =
        (!request.voiceIdentifier.empty() && espeak_SetVoiceByName(request.voiceIdentifier.c_str()) == EE_OK) ||
        espeak_SetVoiceByName(kDefaultVoice) == EE_OK;
    if (!loaded) return fail(std::string(kEspeakErrorDomain), 3, "no voice can be loaded");
    espeak_SetParameter(espeakRATE, request.wordsPerMinute, 0);
    currentSink = &sink;
    const espeak_ERROR result = espeak_Synth(request.text.c_str(), request.text.size() + 1, 0, POS_CHARACTER, 0,
                                             espeakCHARS_UTF8, nullptr, nullptr);
    currentSink = nullptr;
    if (result != EE_OK) return fail(std::string(kEspeakErrorDomain), 4, "the speech library refused the text");
    return {};
}

}  // namespace murmo
