#include "platform/linux/AtspiTextRanges.h"

#include "runtime/Unicode.h"

namespace murmo {

namespace {

std::int64_t utf16Units(char32_t codePoint) { return codePoint >= 0x10000 ? 2 : 1; }

}  // namespace

std::optional<AXTextRange> utf16RangeOfCharacters(std::string_view text, std::int64_t start, std::int64_t end) {
    const auto points = unicode::codePoints(text);
    if (!points || start < 0 || end < start || end > static_cast<std::int64_t>(points->size())) return std::nullopt;
    std::int64_t location = 0;
    std::int64_t length = 0;
    for (std::int64_t index = 0; index < end; ++index) {
        const auto units = utf16Units((*points)[static_cast<std::size_t>(index)]);
        (index < start ? location : length) += units;
    }
    return AXTextRange{location, length};
}

std::optional<std::int64_t> characterCount(std::string_view text) {
    const auto points = unicode::codePoints(text);
    if (!points) return std::nullopt;
    return static_cast<std::int64_t>(points->size());
}

}  // namespace murmo
