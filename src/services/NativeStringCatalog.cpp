#include "services/NativeStringCatalog.h"

#include <array>

#include <fmt/format.h>

namespace murmo {
namespace {

struct CatalogRow {
    NativeStringKey key;
    std::string_view name;
    std::string_view english;
    std::string_view turkish;
};

constexpr std::array<CatalogRow, kNativeStringKeyCount> kRows{{
#define MURMO_NATIVE_STRING_ROW(name, access, english, turkish) {NativeStringKey::name, #name, english, turkish},
    MURMO_NATIVE_STRINGS(MURMO_NATIVE_STRING_ROW)
#undef MURMO_NATIVE_STRING_ROW
}};

constexpr bool rowsAreCompleteAndInOrder() {
    for (std::size_t index = 0; index < kRows.size(); ++index) {
        const auto& row = kRows[index];
        if (static_cast<std::size_t>(row.key) != index) return false;
        if (row.name.empty() || row.english.empty() || row.turkish.empty()) return false;
    }
    return true;
}
static_assert(rowsAreCompleteAndInOrder(), "every key needs both texts");

const CatalogRow& rowFor(NativeStringKey key) { return kRows[static_cast<std::size_t>(key)]; }

}  // namespace

std::string_view rawValue(NativeStringKey key) { return rowFor(key).name; }

std::optional<NativeStringKey> nativeStringKeyFromRawValue(std::string_view rawValue) {
    for (const auto& row : kRows) {
        if (row.name == rawValue) return row.key;
    }
    return std::nullopt;
}

std::string NativeStringCatalog::value(NativeStringKey key, NativeAppLanguage language) {
    const auto& row = rowFor(key);
    return std::string(resolved(language) == NativeAppLanguage::turkish ? row.turkish : row.english);
}

NativeLocalizedStrings::NativeLocalizedStrings(NativeAppLanguage language) : language_(resolved(language)) {}

NativeLocalizedStrings::NativeLocalizedStrings(NativeAppLanguage language,
                                               std::span<const std::string> preferredLanguages)
    : language_(resolved(language, preferredLanguages)) {}

std::string NativeLocalizedStrings::text(NativeStringKey key) const {
    return NativeStringCatalog::value(key, language_);
}

#define MURMO_NATIVE_STRING_ACCESSOR_plain(name) \
    std::string NativeLocalizedStrings::name() const { return text(NativeStringKey::name); }
#define MURMO_NATIVE_STRING_ACCESSOR_composed(name)
#define MURMO_NATIVE_STRING_ACCESSOR(name, access, english, turkish) MURMO_NATIVE_STRING_ACCESSOR_##access(name)
MURMO_NATIVE_STRINGS(MURMO_NATIVE_STRING_ACCESSOR)
#undef MURMO_NATIVE_STRING_ACCESSOR
#undef MURMO_NATIVE_STRING_ACCESSOR_composed
#undef MURMO_NATIVE_STRING_ACCESSOR_plain

std::string NativeLocalizedStrings::coreUnexpectedlyExited(std::int32_t status) const {
    return fmt::format("{} ({})", text(NativeStringKey::coreUnexpectedlyExited), status);
}

std::string NativeLocalizedStrings::hudErrorAnnouncement() const {
    return fmt::format("{}. {}. {}", text(NativeStringKey::hudErrorPrefix), text(NativeStringKey::hudCouldNotComplete),
                       text(NativeStringKey::hudTryAgain));
}

NativeLocalizedStrings strings(NativeAppLanguage language) { return NativeLocalizedStrings(language); }

}  // namespace murmo
