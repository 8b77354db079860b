#pragma once

#include <string>
#include <vector>

#include "platform/SpeechSynthesizer.h"

namespace murmo {

// A voice the simulated system offers.
struct SimVoice {
    std::string identifier;
    std::string language;  // "tr", "en_US", ...
};

// A synthesiser that is speaking from speak() until the test finishes the
// utterance or something stops it, and records what it was asked.
class SimSpeechSynthesizer final : public SpeechSynthesizer {
public:
    explicit SimSpeechSynthesizer(std::vector<SimVoice> voices = {}) : voices_(std::move(voices)) {}

    bool isSpeaking() const override { return speaking_; }
    bool isPaused() const override { return paused_; }
    void speak(SpeechUtterance utterance) override;
    void stopSpeakingImmediately() override;
    std::optional<std::string> voiceWithIdentifier(std::string_view identifier) const override;
    std::optional<std::string> voiceForLanguage(std::string_view language) const override;

    // The voices the system offers from now on.
    void setVoices(std::vector<SimVoice> voices) { voices_ = std::move(voices); }
    // The utterance being said reaches its end.
    void finishUtterance() { speaking_ = paused_ = false; }
    // The system pauses the utterance being said.
    void pause() { paused_ = speaking_; }

    const std::vector<SpeechUtterance>& spoken() const { return spoken_; }
    int stopCount() const { return stops_; }
    // Every identifier and language looked up, in order.
    const std::vector<std::string>& identifierLookups() const { return identifierLookups_; }
    const std::vector<std::string>& languageLookups() const { return languageLookups_; }

private:
    std::vector<SimVoice> voices_;
    bool speaking_ = false;
    bool paused_ = false;
    int stops_ = 0;
    std::vector<SpeechUtterance> spoken_;
    mutable std::vector<std::string> identifierLookups_;
    mutable std::vector<std::string> languageLookups_;
};

}  // namespace murmo
