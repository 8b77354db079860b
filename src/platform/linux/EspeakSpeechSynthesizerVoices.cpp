#include "platform/linux/EspeakSpeechSynthesizerVoices.h"

#include <algorithm>
#include <limits>

namespace murmo {

std::optional<std::string> EspeakSpeechSynthesizerVoices::withIdentifier(std::string_view identifier) const {
    const auto found = std::ranges::find(voices_, identifier, &EspeakVoice::identifier);
    if (found == voices_.end()) return std::nullopt;
    return found->identifier;
}

template <class Fits>
std::optional<std::string> EspeakSpeechSynthesizerVoices::bestVoice(Fits fits) const {
    const EspeakVoice* best = nullptr;
    int bestPriority = std::numeric_limits<int>::max();
    for (const auto& voice : voices_) {
        for (const auto& language : voice.languages) {
            if (fits(language.tag) && language.priority < bestPriority) {
                best = &voice;
                bestPriority = language.priority;
            }
        }
    }
    if (!best) return std::nullopt;
    return best->identifier;
}

std::optional<std::string> EspeakSpeechSynthesizerVoices::forLanguage(std::string_view language) const {
    const std::string tag = languageTag(language);
    if (tag.empty()) return std::nullopt;
    if (auto voice = bestVoice([&](const std::string& candidate) { return candidate == tag; })) return voice;
    const std::string dialectPrefix = tag + "-";
    if (auto voice = bestVoice([&](const std::string& candidate) { return candidate.starts_with(dialectPrefix); })) {
        return voice;
    }
    const auto hyphen = tag.find('-');
    if (hyphen == std::string::npos) return std::nullopt;
    const std::string base = tag.substr(0, hyphen);
    return bestVoice([&](const std::string& candidate) { return candidate == base; });
}

std::string EspeakSpeechSynthesizerVoices::languageTag(std::string_view language) {
    // A POSIX locale carries its encoding and modifier after these.
    language = language.substr(0, language.find_first_of(".@"));
    std::string tag;
    tag.reserve(language.size());
    for (char c : language) {
        if (c == '_') c = '-';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        tag.push_back(c);
    }
    while (!tag.empty() && tag.back() == '-') tag.pop_back();
    if (tag.empty() || tag.front() == '-') return {};
    return tag;
}

}  // namespace murmo
