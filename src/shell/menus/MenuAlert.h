#pragma once

#include <string>

namespace murmo {

// A modal alert for the shell to show: its look, its headline and the line
// under it.
struct MenuAlert {
    enum class Style { informational, warning, critical };

    Style style = Style::warning;
    std::string messageText;
    std::string informativeText;

    bool operator==(const MenuAlert&) const = default;
};

}  // namespace murmo
