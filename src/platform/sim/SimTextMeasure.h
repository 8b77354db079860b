#pragma once

#include "platform/TextMeasure.h"

namespace murmo {

// A deterministic stand-in for font metrics: every character is half the
// font size wide, lines are 1.2 times the font size high, and a line breaks
// wherever it reaches the wrap width (or at a line break in the text).
class SimTextMeasure final : public TextMeasure {
public:
    static constexpr double kCharacterWidthPerPoint = 0.5;
    static constexpr double kLineHeightPerPoint = 1.2;

    TextSize measure(std::string_view text, double fontSize, TextWeight weight, double wrapWidth,
                     double maximumHeight) override;
    int calls = 0;
};

}  // namespace murmo
