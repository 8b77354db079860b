#pragma once

// The role table: which accessibility role and subrole names an AT-SPI role
// reads as, so the delivery rules that compare role names work unchanged.

#include <cstdint>
#include <optional>
#include <string_view>

namespace murmo {

struct AXRoleNames {
    std::string_view role;
    // Empty when the role has no subrole.
    std::string_view subrole;
};

// `atspiRole` is the number GetRole answers; `multiLine` whether the
// element's state set holds MULTI_LINE (which turns an entry or text into a
// text area). Entries and text are text fields, password text a text field
// with the secure-text-field subrole, web documents web areas, panels and
// sections groups; a role the table does not know reads as a generic element,
// the unknown role as unknown.
AXRoleNames axRoleNames(std::uint32_t atspiRole, bool multiLine);

// Whether the role's text field or text area depends on the multi-line state
// (so the caller reads the state set only when it matters).
bool roleDependsOnMultiLine(std::uint32_t atspiRole);

// The AT-SPI roles of top-level windows.
bool isWindowRole(std::uint32_t atspiRole);
bool isPasswordRole(std::uint32_t atspiRole);

}  // namespace murmo
