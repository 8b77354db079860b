#include "platform/Menu.h"

#include <utility>

namespace murmo {

MenuItem MenuItem::separator() {
    MenuItem item;
    item.isSeparator = true;
    return item;
}

MenuItem MenuItem::command(MenuAction action, std::string keyEquivalent, MenuModifierMask modifierMask) {
    MenuItem item;
    item.action = action;
    item.keyEquivalent = std::move(keyEquivalent);
    item.modifierMask = modifierMask;
    item.target = MenuTarget::applicationDelegate;
    return item;
}

MenuItem MenuItem::label() {
    MenuItem item;
    item.enabled = false;
    return item;
}

MenuItem MenuItem::opening(std::string title, Menu menu) {
    MenuItem item;
    item.title = std::move(title);
    item.submenu.push_back(std::move(menu));
    return item;
}

bool MenuItem::operator==(const MenuItem& other) const {
    return title == other.title && action == other.action && keyEquivalent == other.keyEquivalent &&
           modifierMask == other.modifierMask && state == other.state && enabled == other.enabled &&
           isSeparator == other.isSeparator && target == other.target && submenu == other.submenu;
}

bool Menu::operator==(const Menu& other) const {
    return title == other.title && items == other.items && autoenablesItems == other.autoenablesItems &&
           delegate == other.delegate;
}

}  // namespace murmo
