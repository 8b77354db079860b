#include "services/NativeAppLanguage.h"

#include <algorithm>
#include <utility>

#include "runtime/AsciiText.h"

namespace murmo {
namespace {

struct LanguageRow {
    NativeAppLanguage language;
    std::string_view rawValue;
};

constexpr std::array<LanguageRow, kNativeAppLanguageCount> kLanguageRows{{
    {NativeAppLanguage::system, "system"},
    {NativeAppLanguage::turkish, "tr"},
    {NativeAppLanguage::english, "en"},
    {NativeAppLanguage::german, "de"},
    {NativeAppLanguage::spanish, "es"},
    {NativeAppLanguage::french, "fr"},
    {NativeAppLanguage::italian, "it"},
    {NativeAppLanguage::portugueseBrazil, "pt-BR"},
    {NativeAppLanguage::portuguesePortugal, "pt-PT"},
    {NativeAppLanguage::dutch, "nl"},
    {NativeAppLanguage::russian, "ru"},
    {NativeAppLanguage::ukrainian, "uk"},
    {NativeAppLanguage::polish, "pl"},
    {NativeAppLanguage::arabic, "ar"},
    {NativeAppLanguage::hindi, "hi"},
    {NativeAppLanguage::japanese, "ja"},
    {NativeAppLanguage::korean, "ko"},
    {NativeAppLanguage::vietnamese, "vi"},
    {NativeAppLanguage::chineseSimplified, "zh-Hans"},
    {NativeAppLanguage::swedish, "sv"},
    {NativeAppLanguage::czech, "cs"},
    {NativeAppLanguage::norwegianBokmal, "nb"},
    {NativeAppLanguage::danish, "da"},
    {NativeAppLanguage::bulgarian, "bg"},
    {NativeAppLanguage::finnish, "fi"},
    {NativeAppLanguage::croatian, "hr"},
    {NativeAppLanguage::slovak, "sk"},
    {NativeAppLanguage::hungarian, "hu"},
    {NativeAppLanguage::romanian, "ro"},
    {NativeAppLanguage::estonian, "et"},
}};

constexpr bool rowsFollowDeclarationOrder() {
    for (std::size_t index = 0; index < kLanguageRows.size(); ++index) {
        if (static_cast<std::size_t>(kLanguageRows[index].language) != index) return false;
    }
    return true;
}
static_assert(rowsFollowDeclarationOrder(), "language rows must follow the enumeration's order");
static_assert(kLanguageRows.back().language == NativeAppLanguage::estonian);

constexpr std::array<NativeAppLanguage, kNativeAppLanguageCount> kAllLanguages = [] {
    std::array<NativeAppLanguage, kNativeAppLanguageCount> all{};
    for (std::size_t index = 0; index < all.size(); ++index) all[index] = kLanguageRows[index].language;
    return all;
}();

// Primary language subtags that name a language outright. Portuguese and
// Chinese need their later subtags and are matched separately.
constexpr std::array<std::pair<std::string_view, NativeAppLanguage>, 27> kBaseCodes{{
    {"tr", NativeAppLanguage::turkish},         {"en", NativeAppLanguage::english},
    {"de", NativeAppLanguage::german},          {"es", NativeAppLanguage::spanish},
    {"fr", NativeAppLanguage::french},          {"it", NativeAppLanguage::italian},
    {"nl", NativeAppLanguage::dutch},           {"ru", NativeAppLanguage::russian},
    {"uk", NativeAppLanguage::ukrainian},       {"pl", NativeAppLanguage::polish},
    {"ar", NativeAppLanguage::arabic},          {"hi", NativeAppLanguage::hindi},
    {"ja", NativeAppLanguage::japanese},        {"ko", NativeAppLanguage::korean},
    {"vi", NativeAppLanguage::vietnamese},      {"sv", NativeAppLanguage::swedish},
    {"cs", NativeAppLanguage::czech},           {"nb", NativeAppLanguage::norwegianBokmal},
    {"no", NativeAppLanguage::norwegianBokmal}, {"da", NativeAppLanguage::danish},
    {"bg", NativeAppLanguage::bulgarian},       {"fi", NativeAppLanguage::finnish},
    {"hr", NativeAppLanguage::croatian},        {"sk", NativeAppLanguage::slovak},
    {"hu", NativeAppLanguage::hungarian},       {"ro", NativeAppLanguage::romanian},
    {"et", NativeAppLanguage::estonian},
}};

bool equalsIgnoringASCIICase(std::string_view left, std::string_view right) {
    return std::ranges::equal(left, right, [](char a, char b) { return asciiLowercased(a) == asciiLowercased(b); });
}

std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        auto end = text.find(separator);
        auto part = text.substr(0, end);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return parts;
}

bool containsAny(std::span<const std::string_view> subtags, std::initializer_list<std::string_view> wanted) {
    return std::ranges::any_of(
        subtags, [&](std::string_view subtag) { return std::ranges::find(wanted, subtag) != wanted.end(); });
}

std::optional<NativeAppLanguage> matchPortuguese(std::span<const std::string_view> subtags) {
    auto later = subtags.subspan(1);
    bool portugal = std::ranges::find(later, std::string_view("pt")) != later.end();
    return portugal ? NativeAppLanguage::portuguesePortugal : NativeAppLanguage::portugueseBrazil;
}

std::optional<NativeAppLanguage> matchChinese(std::span<const std::string_view> subtags) {
    // Traditional Chinese is not offered; it must not turn into Simplified,
    // so the search moves on to the next preferred language instead.
    if (containsAny(subtags, {"hant", "tw", "hk", "mo"})) return std::nullopt;
    if (containsAny(subtags, {"hans", "cn", "sg"})) return NativeAppLanguage::chineseSimplified;
    return std::nullopt;
}

// "pt_PT.UTF-8" -> "pt-PT"; "C", "POSIX" and empty values give nothing.
std::optional<std::string> localeToLanguageTag(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") return std::nullopt;
    std::string tag(locale);
    std::ranges::replace(tag, '_', '-');
    return tag;
}

}  // namespace

std::string_view rawValue(NativeAppLanguage language) {
    return kLanguageRows[static_cast<std::size_t>(language)].rawValue;
}

std::optional<NativeAppLanguage> nativeAppLanguageFromRawValue(std::string_view rawValue) {
    for (const auto& row : kLanguageRows) {
        if (row.rawValue == rawValue) return row.language;
    }
    return std::nullopt;
}

std::string_view rawValue(NativeLanguageDirection direction) {
    return direction == NativeLanguageDirection::rightToLeft ? "rtl" : "ltr";
}

std::optional<NativeLanguageDirection> nativeLanguageDirectionFromRawValue(std::string_view rawValue) {
    if (rawValue == "ltr") return NativeLanguageDirection::leftToRight;
    if (rawValue == "rtl") return NativeLanguageDirection::rightToLeft;
    return std::nullopt;
}

std::span<const NativeAppLanguage> allNativeAppLanguages() { return kAllLanguages; }

std::span<const NativeAppLanguage> supportedInterfaceLanguages() { return allNativeAppLanguages().subspan(1); }

const std::set<std::string, std::less<>>& registeredNativeAppLanguageIdentifiers() {
    static const std::set<std::string, std::less<>> identifiers = [] {
        std::set<std::string, std::less<>> all;
        for (const auto& row : kLanguageRows) all.emplace(row.rawValue);
        return all;
    }();
    return identifiers;
}

bool isSystemPreference(NativeAppLanguage language) { return language == NativeAppLanguage::system; }

NativeLanguageDirection direction(NativeAppLanguage language) {
    return language == NativeAppLanguage::arabic ? NativeLanguageDirection::rightToLeft
                                                 : NativeLanguageDirection::leftToRight;
}

NativeAppLanguage resolved(NativeAppLanguage language, std::span<const std::string> preferredLanguages) {
    if (!isSystemPreference(language)) return language;
    for (const auto& identifier : preferredLanguages) {
        if (auto match = matchSystemLanguage(identifier)) return *match;
    }
    return kFallbackNativeAppLanguage;
}

NativeAppLanguage resolved(NativeAppLanguage language) {
    if (!isSystemPreference(language)) return language;
    return resolved(language, currentPreferredLanguages());
}

std::optional<NativeAppLanguage> matchSystemLanguage(std::string_view identifier) {
    std::string normalized(identifier);
    std::ranges::transform(normalized, normalized.begin(),
                           [](char character) { return character == '_' ? '-' : asciiLowercased(character); });
    if (normalized.empty()) return std::nullopt;

    for (auto language : supportedInterfaceLanguages()) {
        if (equalsIgnoringASCIICase(rawValue(language), normalized)) return language;
    }

    auto subtags = splitDroppingEmpty(normalized, '-');
    if (subtags.empty()) return std::nullopt;
    if (subtags.front() == "pt") return matchPortuguese(subtags);
    if (subtags.front() == "zh") return matchChinese(subtags);
    for (const auto& [code, language] : kBaseCodes) {
        if (code == subtags.front()) return language;
    }
    return std::nullopt;
}

std::vector<std::string> systemPreferredLanguages(const EnvironmentMap& environment) {
    std::vector<std::string> languages;
    auto append = [&](std::string_view locale) {
        if (auto tag = localeToLanguageTag(locale)) languages.push_back(std::move(*tag));
    };
    if (auto list = lookup(environment, "LANGUAGE")) {
        for (auto entry : splitDroppingEmpty(*list, ':')) append(entry);
    }
    for (std::string_view name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (auto value = lookup(environment, name)) append(*value);
    }
    return languages;
}

std::vector<std::string> currentPreferredLanguages() { return systemPreferredLanguages(currentEnvironment()); }

}  // namespace murmo
