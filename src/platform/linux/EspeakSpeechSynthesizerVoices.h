#pragma once

// The voices the speech library offers and how a language or locale
// identifier picks one of them, apart from the library so the choice can be
// checked against any table.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace murmo {

// One language a voice speaks; a lower priority number is a better fit.
struct EspeakVoiceLanguage {
    int priority = 0;
    std::string tag;  // lower case, dialects after hyphens: "en-us"

    bool operator==(const EspeakVoiceLanguage&) const = default;
};

struct EspeakVoice {
    // What the library loads the voice by ("gmw/en-US"); the port's voice identifier.
    std::string identifier;
    std::string name;
    std::vector<EspeakVoiceLanguage> languages;
};

class EspeakSpeechSynthesizerVoices {
public:
    EspeakSpeechSynthesizerVoices() = default;
    explicit EspeakSpeechSynthesizerVoices(std::vector<EspeakVoice> voices) : voices_(std::move(voices)) {}

    const std::vector<EspeakVoice>& all() const { return voices_; }
    std::optional<std::string> withIdentifier(std::string_view identifier) const;
    // `language` is a language or locale identifier in either spelling ("tr",
    // "en_US", "en-US", "tr_TR.UTF-8"). The best-fitting voice that speaks
    // exactly that tag; else one speaking a dialect of it ("pt" finds
    // "pt-br"); else one speaking its bare language ("tr_TR" finds "tr").
    // Among equals the lowest priority, then the first listed.
    std::optional<std::string> forLanguage(std::string_view language) const;

    // "en_US.UTF-8" -> "en-us"; empty for nothing usable.
    static std::string languageTag(std::string_view language);

private:
    template <class Fits>
    std::optional<std::string> bestVoice(Fits fits) const;

    std::vector<EspeakVoice> voices_;
};

}  // namespace murmo
