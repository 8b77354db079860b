#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "services/NativeAppLanguage.h"
#include "services/NativeStringTable.h"

namespace murmo {

// One key per text that the application itself shows. The raw value of a key
// is its own name ("hudListening"); see NativeAppLanguage.h for the rawValue /
// ...FromRawValue convention.
enum class NativeStringKey : std::uint8_t {
#define MURMO_NATIVE_STRING_KEY(name, access, english, turkish) name,
    MURMO_NATIVE_STRINGS(MURMO_NATIVE_STRING_KEY)
#undef MURMO_NATIVE_STRING_KEY
};

#define MURMO_NATIVE_STRING_COUNT(name, access, english, turkish) +1
inline constexpr std::size_t kNativeStringKeyCount = 0 MURMO_NATIVE_STRINGS(MURMO_NATIVE_STRING_COUNT);
#undef MURMO_NATIVE_STRING_COUNT

std::string_view rawValue(NativeStringKey key);
std::optional<NativeStringKey> nativeStringKeyFromRawValue(std::string_view rawValue);

// The native texts. English and Turkish are complete; every other language
// shows the English text. The tables are compile-time constants, so lookups
// are safe from any thread.
class NativeStringCatalog {
public:
    NativeStringCatalog() = delete;

    // Resolves `language` against the current preferred languages first (a
    // no-op for an explicit language), then takes the Turkish text for
    // Turkish and the English text for everything else.
    static std::string value(NativeStringKey key, NativeAppLanguage language);
};

// Read access to the catalog in one resolved language. Cheap to copy; make a
// fresh one whenever the interface language may have changed.
class NativeLocalizedStrings {
public:
    // Resolves `language` against the current process's preferred languages.
    explicit NativeLocalizedStrings(NativeAppLanguage language);
    // Resolves `language` against the given list (most preferred first).
    NativeLocalizedStrings(NativeAppLanguage language, std::span<const std::string> preferredLanguages);

    // Never `system`.
    NativeAppLanguage language() const { return language_; }

    // One accessor per `plain` key, named after it.
#define MURMO_NATIVE_STRING_ACCESSOR_plain(name) std::string name() const;
#define MURMO_NATIVE_STRING_ACCESSOR_composed(name)
#define MURMO_NATIVE_STRING_ACCESSOR(name, access, english, turkish) MURMO_NATIVE_STRING_ACCESSOR_##access(name)
    MURMO_NATIVE_STRINGS(MURMO_NATIVE_STRING_ACCESSOR)
#undef MURMO_NATIVE_STRING_ACCESSOR
#undef MURMO_NATIVE_STRING_ACCESSOR_composed
#undef MURMO_NATIVE_STRING_ACCESSOR_plain

    // The exit notice followed by " (<status>)".
    std::string coreUnexpectedlyExited(std::int32_t status) const;
    // The error prefix, what failed and the advice, joined by ". " (no final
    // full stop), as one spoken announcement.
    std::string hudErrorAnnouncement() const;

private:
    std::string text(NativeStringKey key) const;

    NativeAppLanguage language_;
};

// The strings of `language`, resolved against the current preferred languages.
NativeLocalizedStrings strings(NativeAppLanguage language);

}  // namespace murmo
