#pragma once

// What the clipboard owner program and its driver both speak: bytes as
// lower-case hex on a command line, and the generated pattern of large
// targets. Standard C++ only: the program links nothing of ours.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace murmo::clipboard_owner_wire {

// Every byte value, zeros included, in an order that shifts every 256 bytes
// so a misplaced chunk shows.
inline std::uint8_t patternByte(std::size_t index) {
    return static_cast<std::uint8_t>((index * 31 + index / 256) % 256);
}

inline std::string hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const auto byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

inline std::vector<std::uint8_t> unhex(std::string_view text) {
    const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(digit(text[i]) * 16 + digit(text[i + 1])));
    }
    return bytes;
}

}  // namespace murmo::clipboard_owner_wire
