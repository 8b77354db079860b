#include "platform/sim/SimSpeechSynthesizer.h"

#include <algorithm>

namespace murmo {

void SimSpeechSynthesizer::speak(SpeechUtterance utterance) {
    spoken_.push_back(std::move(utterance));
    speaking_ = true;
    paused_ = false;
}

void SimSpeechSynthesizer::stopSpeakingImmediately() {
    ++stops_;
    speaking_ = paused_ = false;
}

std::optional<std::string> SimSpeechSynthesizer::voiceWithIdentifier(std::string_view identifier) const {
    identifierLookups_.emplace_back(identifier);
    const auto found = std::ranges::find(voices_, identifier, &SimVoice::identifier);
    if (found == voices_.end()) return std::nullopt;
    return found->identifier;
}

std::optional<std::string> SimSpeechSynthesizer::voiceForLanguage(std::string_view language) const {
    languageLookups_.emplace_back(language);
    // An exact locale first, then a voice whose locale is of that language.
    auto found = std::ranges::find(voices_, language, &SimVoice::language);
    if (found == voices_.end()) {
        found = std::ranges::find_if(voices_, [&](const SimVoice& voice) {
            return voice.language.starts_with(language) && voice.language.size() > language.size() &&
                   voice.language[language.size()] == '_';
        });
    }
    if (found == voices_.end()) return std::nullopt;
    return found->identifier;
}

}  // namespace murmo
