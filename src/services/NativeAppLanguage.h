#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Environment.h"

namespace murmo {

// Conventions for the enumerations of this area (NativeAppLanguage,
// NativeLanguageDirection, NativeStringKey):
// - `rawValue(e)` is an overloaded free function giving the stable string form
//   that is stored, exchanged and shown to the dashboard page;
// - `<lowerCamelTypeName>FromRawValue(text)` is its exact, case-sensitive
//   inverse and yields nullopt for any other string.

// The interface language: the user's choice of "system" or one of 29 explicit
// languages. allNativeAppLanguages() lists them in declaration order.
enum class NativeAppLanguage : std::uint8_t {
    system,
    turkish,
    english,
    german,
    spanish,
    french,
    italian,
    portugueseBrazil,
    portuguesePortugal,
    dutch,
    russian,
    ukrainian,
    polish,
    arabic,
    hindi,
    japanese,
    korean,
    vietnamese,
    chineseSimplified,
    swedish,
    czech,
    norwegianBokmal,
    danish,
    bulgarian,
    finnish,
    croatian,
    slovak,
    hungarian,
    romanian,
    estonian,
};

enum class NativeLanguageDirection : std::uint8_t {
    leftToRight,
    rightToLeft,
};

inline constexpr std::size_t kNativeAppLanguageCount = 30;

// What a missing or unreadable preference means, and what an unmatched
// preferred-language list resolves to.
inline constexpr NativeAppLanguage kDefaultNativeAppLanguage = NativeAppLanguage::system;
inline constexpr NativeAppLanguage kFallbackNativeAppLanguage = NativeAppLanguage::english;

std::string_view rawValue(NativeAppLanguage language);
std::optional<NativeAppLanguage> nativeAppLanguageFromRawValue(std::string_view rawValue);
// Same operation; the name used where stored preference values are validated.
inline std::optional<NativeAppLanguage> nativeAppLanguageFromRegisteredIdentifier(std::string_view identifier) {
    return nativeAppLanguageFromRawValue(identifier);
}

std::string_view rawValue(NativeLanguageDirection direction);
std::optional<NativeLanguageDirection> nativeLanguageDirectionFromRawValue(std::string_view rawValue);

// Every case in declaration order, `system` first.
std::span<const NativeAppLanguage> allNativeAppLanguages();
// Every case but `system`, in declaration order.
std::span<const NativeAppLanguage> supportedInterfaceLanguages();
// The raw values of all cases, `system` included.
const std::set<std::string, std::less<>>& registeredNativeAppLanguageIdentifiers();

bool isSystemPreference(NativeAppLanguage language);
// `system` reports left-to-right; callers resolve it first.
NativeLanguageDirection direction(NativeAppLanguage language);

// An explicit language is returned unchanged. `system` becomes the first
// preferred identifier (most preferred first) that matches a supported
// language, else English. Never returns `system`.
NativeAppLanguage resolved(NativeAppLanguage language, std::span<const std::string> preferredLanguages);
// Same, against the current process's preferred languages. Re-read at every
// call so a changed locale takes effect at the next lookup.
NativeAppLanguage resolved(NativeAppLanguage language);

// Matches one preferred-language identifier ("pt_PT", "zh-Hans-CN", "en-GB")
// to a supported language; nullopt when none fits.
std::optional<NativeAppLanguage> matchSystemLanguage(std::string_view identifier);

// The preferred languages that a locale environment describes, most preferred
// first: the entries of LANGUAGE (colon-separated), then LC_ALL, LC_MESSAGES
// and LANG. Each is normalised to a language tag ("pt_PT.UTF-8" -> "pt-PT",
// "sr_RS@latin" -> "sr-RS"); "C", "POSIX" and empty entries are dropped.
std::vector<std::string> systemPreferredLanguages(const EnvironmentMap& environment);
// systemPreferredLanguages of the current process environment.
std::vector<std::string> currentPreferredLanguages();

}  // namespace murmo
