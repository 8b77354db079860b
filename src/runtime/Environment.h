#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace murmo {

// A snapshot of process environment variables. Components that read the
// environment take one of these, so tests never change the test process's own.
using EnvironmentMap = std::map<std::string, std::string, std::less<>>;

EnvironmentMap currentEnvironment();

inline std::optional<std::string> lookup(const EnvironmentMap& environment, std::string_view name) {
    auto found = environment.find(name);
    if (found == environment.end()) return std::nullopt;
    return found->second;
}

}  // namespace murmo
