#pragma once

// A menu as plain values, for a platform menu to render: the items in order
// (separators included), each with its title, action, key equivalent, state
// and whether it can be chosen. The shell changes titles, states and enabling
// only; the structure is fixed when a menu is built.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/MenuAction.h"

namespace murmo {

// The modifier keys of a key equivalent, as an option set over the
// platform's own flag values, so a menu port can hand them on unchanged.
struct MenuModifierMask {
    std::uint32_t rawValue = 0;

    static const MenuModifierMask none;
    static const MenuModifierMask shift;
    static const MenuModifierMask control;
    static const MenuModifierMask option;
    static const MenuModifierMask command;

    constexpr bool contains(MenuModifierMask other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr MenuModifierMask operator|(MenuModifierMask other) const {
        return MenuModifierMask{rawValue | other.rawValue};
    }
    constexpr bool operator==(const MenuModifierMask&) const = default;
};

inline constexpr MenuModifierMask MenuModifierMask::none{0};
inline constexpr MenuModifierMask MenuModifierMask::shift{0x20000};
inline constexpr MenuModifierMask MenuModifierMask::control{0x40000};
inline constexpr MenuModifierMask MenuModifierMask::option{0x80000};
inline constexpr MenuModifierMask MenuModifierMask::command{0x100000};

// The check mark beside an item: none, a check, or a dash for "partly".
enum class MenuItemState { off, on, mixed };

// Who receives an item's action (or a menu's will-open notice).
enum class MenuTarget {
    // The item with the keyboard focus, then its ancestors, decide.
    firstResponder,
    // The application delegate's command of the same name.
    applicationDelegate,
};

struct Menu;

struct MenuItem {
    std::string title{};
    std::optional<MenuAction> action{};
    // One character ("q"), or empty for none.
    std::string keyEquivalent{};
    // Meaningful only with a key equivalent.
    MenuModifierMask modifierMask = MenuModifierMask::none;
    MenuItemState state = MenuItemState::off;
    bool enabled = true;
    bool isSeparator = false;
    MenuTarget target = MenuTarget::firstResponder;
    // Held by value; a vector so that an item may hold the menu type it is
    // part of. Empty, or exactly one menu.
    std::vector<Menu> submenu;

    static MenuItem separator();
    // A command of the application delegate.
    static MenuItem command(MenuAction action, std::string keyEquivalent = {},
                            MenuModifierMask modifierMask = MenuModifierMask::none);
    // A line that only shows text.
    static MenuItem label();
    // An item that opens `menu`.
    static MenuItem opening(std::string title, Menu menu);

    const Menu* submenuOrNull() const { return submenu.empty() ? nullptr : &submenu.front(); }

    bool operator==(const MenuItem&) const;
};

struct Menu {
    std::string title{};
    std::vector<MenuItem> items{};
    // On: the platform enables each item by whether its target can act; off:
    // `MenuItem::enabled` decides.
    bool autoenablesItems = true;
    // Told just before the menu opens, when set.
    std::optional<MenuTarget> delegate{};

    bool operator==(const Menu&) const;
};

}  // namespace murmo
