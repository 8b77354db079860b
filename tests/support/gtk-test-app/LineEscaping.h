#pragma once

// How the GTK test application and its driver put text on one line: "\\" for
// a backslash and "\xHH" for control bytes (newlines included); other bytes,
// UTF-8 among them, pass as they are.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace murmo::testing::line_escaping {

inline std::string escaped(std::string_view text) {
    std::string out;
    for (const unsigned char byte : text) {
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7f) {
            std::array<char, 5> code{};
            std::snprintf(code.data(), code.size(), "\\x%02x", byte);
            out += code.data();
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

inline std::string unescaped(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            bytes += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            bytes += static_cast<char>(std::strtol(std::string(text.substr(i + 2, 2)).c_str(), nullptr, 16));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

}  // namespace murmo::testing::line_escaping
