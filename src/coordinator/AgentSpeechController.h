#pragma once

// Reads an agent answer aloud. Fire and forget: nothing is reported back.
// At most one answer is spoken at a time; a new one replaces the old at once.
// Main thread only.

#include <functional>
#include <string>
#include <string_view>

#include "platform/SpeechSynthesizer.h"

namespace murmo {

class AgentSpeechController {
public:
    static constexpr float kSlowestRate = 0.25f;
    static constexpr float kFastestRate = 0.65f;

    // `currentLocaleIdentifier` names the user's locale ("tr_TR"): what
    // "auto" means, and the last voice to try.
    AgentSpeechController(SpeechSynthesizer& synthesizer, std::function<std::string()> currentLocaleIdentifier);

    // Speaks the text trimmed of blanks and newlines; an empty one leaves
    // what is being said alone. `language` is a locale or language
    // identifier, or "auto"; `voicePreference` a system voice identifier, or
    // "system". The rate is kept within 0.25...0.65 (not a number: 0.65).
    void speak(std::string_view text, std::string_view language, std::string_view voicePreference, float rate);
    // Stops any speech at once.
    void cancel();

    static float clampedRate(float rate);

private:
    std::optional<std::string> voiceFor(std::string_view language, std::string_view voicePreference) const;
    void stopIfSounding();

    SpeechSynthesizer& synthesizer_;
    std::function<std::string()> currentLocaleIdentifier_;
};

}  // namespace murmo
