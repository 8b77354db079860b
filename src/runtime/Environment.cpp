#include "runtime/Environment.h"

#include <unistd.h>

namespace murmo {

EnvironmentMap currentEnvironment() {
    EnvironmentMap environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        auto equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        environment.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
    }
    return environment;
}

}  // namespace murmo
