#pragma once

// The dashboard's sidebar state and its dismissed cards, kept in the user
// defaults so that they survive a reload or a restart (the sidebar's width is
// not kept). The store never fails: whatever is stored, or missing, reads as
// a usable value.

#include <string>
#include <string_view>
#include <vector>

#include "platform/DefaultsStore.h"
#include "shell/bridges/NativeUIStateTypes.h"

namespace murmo {

class NativeUIStateStore {
public:
    // A string, "expanded" or "collapsed".
    static constexpr std::string_view sidebarKey = "Murmo.UI.sidebar";
    // An array of card identifiers, without duplicates, sorted ascending.
    static constexpr std::string_view dismissedCardsKey = "Dorvex.UI.dismissedSidebarCards";

    // `defaults` outlives the store.
    explicit NativeUIStateStore(DefaultsStore& defaults) : defaults_(defaults) {}

    // "collapsed" reads as collapsed; anything else, or nothing, as expanded.
    NativeSidebarPreference sidebar() const;
    void setSidebar(NativeSidebarPreference sidebar);

    // The stored identifiers that may be dismissed, in stored order; a
    // missing list, or one that is not an array of strings, is empty.
    std::vector<std::string> dismissedCards() const;
    // Adds a card that may be dismissed (any other is ignored) and stores the
    // list without duplicates, sorted ascending.
    void dismissCard(std::string_view cardID);

private:
    DefaultsStore& defaults_;
};

}  // namespace murmo
