#pragma once

#include <cstddef>
#include <vector>

#include "platform/Menu.h"

namespace murmo {

// The item the user reaches in `menu` by `path` (an index per level, through
// submenus) when it can be chosen: not a separator, with an action, and
// enabled (or the menu enables its items itself). Null otherwise.
const MenuItem* choosableMenuItem(const Menu& menu, const std::vector<std::size_t>& path);

}  // namespace murmo
