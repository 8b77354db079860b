#include "shell/menus/NativeEditMenu.h"

#include <array>
#include <string_view>

namespace murmo {

namespace {

struct EditRow {
    MenuAction action;
    std::string_view keyEquivalent;
    MenuModifierMask modifierMask;
    std::string_view english;
    std::string_view turkish;
};

constexpr std::array kEditRows{
    EditRow{MenuAction::undo, "z", MenuModifierMask::command, "Undo", "Geri Al"},
    EditRow{MenuAction::redo, "z", MenuModifierMask::shift | MenuModifierMask::command, "Redo", "Yinele"},
    EditRow{MenuAction::cut, "x", MenuModifierMask::command, "Cut", "Kes"},
    EditRow{MenuAction::copy, "c", MenuModifierMask::command, "Copy", "Kopyala"},
    EditRow{MenuAction::paste, "v", MenuModifierMask::command, "Paste", "Yapıştır"},
    EditRow{MenuAction::selectAll, "a", MenuModifierMask::command, "Select All", "Tümünü Seç"},
};

constexpr std::string_view kEnglishTitle = "Edit";
constexpr std::string_view kTurkishTitle = "Düzenle";

// Cut starts the clipboard group and select all stands alone.
bool startsGroup(MenuAction action) { return action == MenuAction::cut || action == MenuAction::selectAll; }

}  // namespace

NativeEditMenu::NativeEditMenu() {
    menu_.title = kEnglishTitle;
    for (const auto& row : kEditRows) {
        if (startsGroup(row.action)) menu_.items.push_back(MenuItem::separator());
        MenuItem item;
        item.title = rawValue(row.action);
        item.action = row.action;
        item.keyEquivalent = row.keyEquivalent;
        item.modifierMask = row.modifierMask;
        menu_.items.push_back(std::move(item));
    }
    localize(NativeAppLanguage::english);
}

void NativeEditMenu::localize(NativeAppLanguage language) { localize(language, currentPreferredLanguages()); }

void NativeEditMenu::localize(NativeAppLanguage language, std::span<const std::string> preferredLanguages) {
    const bool turkish = resolved(language, preferredLanguages) == NativeAppLanguage::turkish;
    menu_.title = turkish ? kTurkishTitle : kEnglishTitle;
    // Titles go to the items in table order, skipping separators; an item
    // beyond the table keeps its title.
    auto row = kEditRows.begin();
    for (auto& item : menu_.items) {
        if (item.isSeparator) continue;
        if (row == kEditRows.end()) break;
        item.title = turkish ? row->turkish : row->english;
        ++row;
    }
}

}  // namespace murmo
