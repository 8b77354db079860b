#pragma once

// AT-SPI counts text in characters (code points); the accessibility port
// counts it in UTF-16 code units, as the platform's text ranges do. An emoji
// is one of the former and two of the latter.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/Accessibility.h"

namespace murmo {

// The UTF-16 range of the characters [start, end) of `text`; nullopt when the
// text is not valid UTF-8 or the offsets are not 0 <= start <= end <= its
// character count.
std::optional<AXTextRange> utf16RangeOfCharacters(std::string_view text, std::int64_t start, std::int64_t end);

// How many characters (code points) `text` holds; nullopt when it is not
// valid UTF-8.
std::optional<std::int64_t> characterCount(std::string_view text);

}  // namespace murmo
