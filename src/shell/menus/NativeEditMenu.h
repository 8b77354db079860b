#pragma once

// The main menu's Edit menu: undo, redo, cut, copy, paste and select all with
// their usual key equivalents, sent to whatever holds the keyboard focus.
// Its texts are its own (Turkish, or English for every other language),
// not the string catalog's.

#include <span>
#include <string>

#include "platform/Menu.h"
#include "services/NativeAppLanguage.h"

namespace murmo {

class NativeEditMenu {
public:
    // The items titled with their selectors, then localized in English.
    NativeEditMenu();

    // Turkish titles for Turkish, English ones for every other language;
    // `system` is resolved against the current preferred languages.
    void localize(NativeAppLanguage language);
    // The same, resolving `system` against `preferredLanguages`.
    void localize(NativeAppLanguage language, std::span<const std::string> preferredLanguages);

    const Menu& menu() const { return menu_; }
    const std::string& title() const { return menu_.title; }

private:
    Menu menu_;
};

}  // namespace murmo
