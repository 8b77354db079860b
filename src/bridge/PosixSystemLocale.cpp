#include "bridge/PosixSystemLocale.h"

#include <array>
#include <string_view>

namespace murmo::bridge {

std::string PosixSystemLocale::currentIdentifier() const {
    static constexpr std::array<std::string_view, 3> kVariables{"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string name;
    for (auto variable : kVariables) {
        auto value = lookup(environment_, variable);
        if (value && !value->empty()) {
            name = *value;
            break;
        }
    }
    // language[_territory][.codeset][@modifier]
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") return "en_US_POSIX";
    return name;
}

}  // namespace murmo::bridge
