#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace murmo {

// Standard Base64, strictly: a length that is a multiple of 4, only A-Z,
// a-z, 0-9, "+" and "/", "=" only as the last one or two characters, and
// padding bits that are zero. Nothing is skipped (no white space, no line
// breaks). Absent for any other text.
std::optional<std::vector<std::uint8_t>> decodeStrictBase64(std::string_view text);

// Standard Base64 of the bytes, padded with "=", on one line (no line
// breaks), as data URLs carry it.
std::string encodeBase64(std::span<const std::uint8_t> bytes);

}  // namespace murmo
