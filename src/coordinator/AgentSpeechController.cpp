#include "coordinator/AgentSpeechController.h"

#include <algorithm>
#include <cmath>

#include "runtime/Unicode.h"

namespace murmo {

namespace {

constexpr std::string_view kAutoLanguage = "auto";
constexpr std::string_view kSystemVoice = "system";

}  // namespace

AgentSpeechController::AgentSpeechController(SpeechSynthesizer& synthesizer,
                                             std::function<std::string()> currentLocaleIdentifier)
    : synthesizer_(synthesizer), currentLocaleIdentifier_(std::move(currentLocaleIdentifier)) {}

float AgentSpeechController::clampedRate(float rate) {
    // min then max, so a rate that is not a number ends at the fastest
    // pace instead of reaching the synthesiser.
    const float capped = std::isnan(rate) ? kFastestRate : std::min(rate, kFastestRate);
    return std::max(capped, kSlowestRate);
}

void AgentSpeechController::speak(std::string_view text, std::string_view language, std::string_view voicePreference,
                                  float rate) {
    auto trimmed = unicode::trimWhitespaceAndNewlines(text);
    if (trimmed.empty()) return;
    stopIfSounding();
    const std::string resolvedLanguage = language == kAutoLanguage ? currentLocaleIdentifier_() : std::string(language);
    synthesizer_.speak(SpeechUtterance{.text = std::move(trimmed),
                                       .voiceIdentifier = voiceFor(resolvedLanguage, voicePreference),
                                       .rate = clampedRate(rate),
                                       .preUtteranceDelay = Duration::zero(),
                                       .postUtteranceDelay = Duration::zero()});
}

void AgentSpeechController::cancel() { stopIfSounding(); }

std::optional<std::string> AgentSpeechController::voiceFor(std::string_view language,
                                                           std::string_view voicePreference) const {
    if (voicePreference != kSystemVoice) {
        if (auto voice = synthesizer_.voiceWithIdentifier(voicePreference)) return voice;
    }
    if (auto voice = synthesizer_.voiceForLanguage(language)) return voice;
    return synthesizer_.voiceForLanguage(currentLocaleIdentifier_());
}

void AgentSpeechController::stopIfSounding() {
    if (synthesizer_.isSpeaking() || synthesizer_.isPaused()) synthesizer_.stopSpeakingImmediately();
}

}  // namespace murmo
