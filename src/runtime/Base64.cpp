#include "runtime/Base64.h"

#include <openssl/evp.h>

#include <algorithm>

namespace murmo {

namespace {

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> decodeStrictBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    const auto data = text.substr(0, text.size() - padding);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (const char c : data) {
        const int value = sextet(c);
        if (value < 0) return std::nullopt;  // "=" inside the text included
        buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(buffer >> bits));
            buffer &= (1u << bits) - 1;
        }
    }
    // What is left over must be the padding's zero bits.
    if (buffer != 0) return std::nullopt;
    return bytes;
}

std::string encodeBase64(std::span<const std::uint8_t> bytes) {
    // EVP_EncodeBlock counts in int and writes a terminating NUL after the
    // text; larger inputs are encoded in whole 3-byte groups per call.
    constexpr std::size_t kChunk = 3 * (1 << 20);
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t start = 0; start < bytes.size(); start += kChunk) {
        const auto chunk = bytes.subspan(start, std::min(kChunk, bytes.size() - start));
        const auto offset = text.size();
        text.resize(offset + (chunk.size() + 2) / 3 * 4 + 1);
        const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data() + offset), chunk.data(),
                                            static_cast<int>(chunk.size()));
        text.resize(offset + static_cast<std::size_t>(written));
    }
    return text;
}

}  // namespace murmo
