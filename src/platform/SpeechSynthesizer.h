#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/Clock.h"

namespace murmo {

// One piece of text for the synthesiser to say.
struct SpeechUtterance {
    std::string text;
    // A voice the synthesiser named; absent: its default voice.
    std::optional<std::string> voiceIdentifier;
    // The platform's speech rate, 0 to 1 (0.5 is the normal pace).
    float rate = 0.5f;
    Duration preUtteranceDelay{};
    Duration postUtteranceDelay{};
};

// The system speech synthesiser: says one utterance at a time. Main thread.
class SpeechSynthesizer {
public:
    virtual ~SpeechSynthesizer() = default;

    virtual bool isSpeaking() const = 0;
    virtual bool isPaused() const = 0;
    // Starts saying `utterance`.
    virtual void speak(SpeechUtterance utterance) = 0;
    // Stops at once, mid-word if need be.
    virtual void stopSpeakingImmediately() = 0;

    // The voice with this identifier, when the system has it.
    virtual std::optional<std::string> voiceWithIdentifier(std::string_view identifier) const = 0;
    // A voice for a language or locale identifier ("tr", "en_US"), when the
    // system has one.
    virtual std::optional<std::string> voiceForLanguage(std::string_view language) const = 0;
};

}  // namespace murmo
