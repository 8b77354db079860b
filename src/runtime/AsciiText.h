#pragma once

#include <string>
#include <string_view>

namespace murmo {

// Lower-cases A-Z only. Identifiers, keys and option names compare this way;
// user text never does (it needs Unicode case rules).
inline char asciiLowercased(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string asciiLowercased(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = asciiLowercased(c);
    return result;
}

}  // namespace murmo
