#pragma once

// The speech synthesiser on Linux: espeak-ng synthesises each utterance on
// the engine's thread, and its audio streams through PulseAudio into the
// playback target's sink (the default sink when the target names none) while
// it is synthesised.
//
// speak() and stopSpeakingImmediately() return at once. isSpeaking() is true
// from speak() until the utterance has drained from the sink and its
// post-utterance delay has passed (reported back on the main loop), or until
// a stop. A stop ends the synthesis at its next piece of audio and drops what
// the stream still holds, so the sound ends at once. Nothing pauses: isPaused()
// is always false. Main thread, except where a member says otherwise.

#include <memory>

#include "platform/SpeechSynthesizer.h"
#include "runtime/Error.h"
#include "runtime/MainLoop.h"

namespace murmo {

class EspeakSpeechSynthesizerEngine;
class PulseAudioContext;
class PulseAudioPlaybackTarget;

class EspeakSpeechSynthesizer final : public SpeechSynthesizer {
public:
    // Starts the speech library. Fails when it cannot start (its data is
    // missing, or another synthesiser holds it: one per process). `context`
    // null: the server could not be reached; utterances are synthesised and
    // end at once, unheard.
    static Result<std::unique_ptr<EspeakSpeechSynthesizer>> create(
        MainLoop& mainLoop, std::shared_ptr<PulseAudioContext> context,
        std::shared_ptr<const PulseAudioPlaybackTarget> target);
    // Stops any speech, then waits for the engine's thread.
    ~EspeakSpeechSynthesizer() override;

    bool isSpeaking() const override;
    bool isPaused() const override { return false; }
    // Stops the utterance being said, then says this one: its voice
    // (the library's default when absent or unknown), its rate (see
    // espeakWordsPerMinute), after its pre-utterance delay.
    void speak(SpeechUtterance utterance) override;
    void stopSpeakingImmediately() override;

    // Any thread. Identifiers are the library's ("gmw/en-US", "trk/tr").
    std::optional<std::string> voiceWithIdentifier(std::string_view identifier) const override;
    std::optional<std::string> voiceForLanguage(std::string_view language) const override;

    struct Shared;

private:
    EspeakSpeechSynthesizer(std::shared_ptr<Shared> shared, std::unique_ptr<EspeakSpeechSynthesizerEngine> engine);

    std::shared_ptr<Shared> shared_;
    std::unique_ptr<EspeakSpeechSynthesizerEngine> engine_;
};

}  // namespace murmo
