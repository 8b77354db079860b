#pragma once

// Texts the two bridges of the page's own origin (file export and writing
// copy) are tested with: the largest text they take, built once per test
// program, and message bodies carrying it.

#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/JsonRead.h"

namespace murmo::testing {

// Exactly 64 MiB of UTF-8 made of two-byte characters, so a limit counted in
// characters or UTF-16 units instead of bytes would let one byte more pass.
inline const std::string& largestBridgeText() {
    static const std::string text = [] {
        constexpr std::size_t kBytes = 67'108'864;
        std::string built;
        built.reserve(kBytes);
        while (built.size() < kBytes) built += "\xC3\xA9";  // é
        return built;
    }();
    return text;
}

// The JSON text of an object of string members, each value byte for byte.
inline std::string bodyWith(std::initializer_list<std::pair<const char*, std::string_view>> members) {
    json::Json body = json::Json::object();
    for (const auto& [key, value] : members) body[key] = std::string(value);
    return body.dump();
}

}  // namespace murmo::testing
