#include "platform/sim/SimTextMeasure.h"

#include <algorithm>
#include <cmath>

namespace murmo {

TextSize SimTextMeasure::measure(std::string_view text, double fontSize, TextWeight, double wrapWidth,
                                 double maximumHeight) {
    ++calls;
    const double characterWidth = fontSize * kCharacterWidthPerPoint;
    const int perLine = std::max(1, static_cast<int>(std::floor(std::max(wrapWidth, 0.0) / characterWidth)));
    int lines = 0;
    double widest = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find('\n', start);
        const auto length = static_cast<int>((end == std::string_view::npos ? text.size() : end) - start);
        // Count characters, not UTF-8 bytes.
        int characters = 0;
        for (int i = 0; i < length; ++i) characters += (static_cast<unsigned char>(text[start + i]) & 0xC0) != 0x80;
        lines += std::max(1, (characters + perLine - 1) / perLine);
        widest = std::max(widest, std::min(characters, perLine) * characterWidth);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return TextSize{widest, std::min(lines * fontSize * kLineHeightPerPoint, maximumHeight)};
}

}  // namespace murmo
