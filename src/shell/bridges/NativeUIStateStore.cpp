#include "shell/bridges/NativeUIStateStore.h"

#include <algorithm>
#include <optional>

namespace murmo {

namespace {

// Absent unless the value is an array whose every element is a string.
std::optional<std::vector<std::string>> stringArray(const nlohmann::json& value) {
    if (!value.is_array()) return std::nullopt;
    std::vector<std::string> strings;
    strings.reserve(value.size());
    for (const auto& element : value) {
        if (!element.is_string()) return std::nullopt;
        strings.push_back(element.get<std::string>());
    }
    return strings;
}

}  // namespace

NativeSidebarPreference NativeUIStateStore::sidebar() const {
    const auto stored = defaults_.value(sidebarKey);
    if (stored && stored->is_string() &&
        stored->get_ref<const std::string&>() == rawValue(NativeSidebarPreference::collapsed)) {
        return NativeSidebarPreference::collapsed;
    }
    return NativeSidebarPreference::expanded;
}

void NativeUIStateStore::setSidebar(NativeSidebarPreference sidebar) {
    defaults_.set(sidebarKey, std::string(rawValue(sidebar)));
}

std::vector<std::string> NativeUIStateStore::dismissedCards() const {
    const auto stored = defaults_.value(dismissedCardsKey);
    if (!stored) return {};
    auto cards = stringArray(*stored).value_or(std::vector<std::string>{});
    std::erase_if(cards, [](const std::string& card) { return !NativeSidebarCardDismissCommand::isAllowed(card); });
    return cards;
}

void NativeUIStateStore::dismissCard(std::string_view cardID) {
    if (!NativeSidebarCardDismissCommand::isAllowed(cardID)) return;
    auto cards = dismissedCards();
    cards.emplace_back(cardID);
    std::ranges::sort(cards);
    const auto duplicates = std::ranges::unique(cards);
    cards.erase(duplicates.begin(), duplicates.end());
    defaults_.set(dismissedCardsKey, cards);
}

}  // namespace murmo
