#pragma once

#include <string>
#include <vector>

#include "platform/Menu.h"
#include "services/NativeAppLanguage.h"
#include "services/NativeStringCatalog.h"

namespace murmo::testing {

inline constexpr std::string_view kSeparatorLine = "---";

// The menu's item titles in order, a separator as "---".
inline std::vector<std::string> outline(const Menu& menu) {
    std::vector<std::string> lines;
    for (const auto& item : menu.items) lines.push_back(item.isSeparator ? std::string(kSeparatorLine) : item.title);
    return lines;
}

// The catalog in an explicit language, independent of the machine's locale.
inline NativeLocalizedStrings stringsIn(NativeAppLanguage language) {
    static const std::vector<std::string> kNoPreference;
    return NativeLocalizedStrings(language, kNoPreference);
}

}  // namespace murmo::testing
