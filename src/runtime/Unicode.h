#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace murmo::unicode {

bool isValidUTF8(std::string_view text);

// Conversions; invalid UTF-8 yields nullopt, never a silently altered string.
std::optional<std::u16string> toUTF16(std::string_view utf8);
std::optional<std::string> fromUTF16(std::u16string_view utf16);

// Length in UTF-16 code units, as the platform's text ranges count.
std::optional<std::size_t> utf16Length(std::string_view utf8);

// Extended grapheme clusters ("characters" as the user sees them).
std::optional<std::size_t> graphemeCount(std::string_view utf8);

std::optional<std::string> nfc(std::string_view utf8);

// Full Unicode lower-casing, the same under every locale ("İ" becomes "i̇",
// "ẞ" "ß"); nullopt on invalid UTF-8.
std::optional<std::string> lowercased(std::string_view utf8);

// Trims code points with the Unicode White_Space property (not isspace):
// U+00A0, U+2028, U+3000 and the line terminators included.
std::string trimWhitespaceAndNewlines(std::string_view utf8);
// Trims space separators (general category Zs) and tabs only, keeping line
// breaks.
std::string trimWhitespace(std::string_view utf8);
bool isWhitespace(char32_t codePoint);

// General category tests.
bool isLetter(char32_t codePoint);
// Marks (Mn, Mc, Me) and decimal digits (Nd).
bool isMark(char32_t codePoint);
bool isDecimalDigit(char32_t codePoint);
bool isControl(char32_t codePoint);
bool isFormat(char32_t codePoint);
// Cc, Cf, Cs, Co or Cn.
bool isOtherCategory(char32_t codePoint);

// Decodes the code points of valid UTF-8; nullopt on invalid input.
std::optional<std::u32string> codePoints(std::string_view utf8);
std::string encodeUTF8(char32_t codePoint);

}  // namespace murmo::unicode
