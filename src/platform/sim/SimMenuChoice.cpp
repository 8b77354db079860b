#include "platform/sim/SimMenuChoice.h"

namespace murmo {

const MenuItem* choosableMenuItem(const Menu& menu, const std::vector<std::size_t>& path) {
    const Menu* current = &menu;
    const MenuItem* item = nullptr;
    for (const auto index : path) {
        if (!current || index >= current->items.size()) return nullptr;
        item = &current->items[index];
        if (!current->autoenablesItems && !item->enabled) return nullptr;
        current = item->submenuOrNull();
    }
    if (!item || item->isSeparator || !item->action) return nullptr;
    return item;
}

}  // namespace murmo
