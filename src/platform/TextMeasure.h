#pragma once

#include <string_view>

namespace murmo {

enum class TextWeight { regular, medium, semibold, bold };

struct TextSize {
    double width = 0;
    double height = 0;
    bool operator==(const TextSize&) const = default;
};

// How much room a text takes in the HUD's font at a size and weight, wrapped
// to a width (points). Main thread.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    // The bounding size of `text` laid out in a column `wrapWidth` wide and at
    // most `maximumHeight` high, lines at their font's leading.
    virtual TextSize measure(std::string_view text, double fontSize, TextWeight weight, double wrapWidth,
                             double maximumHeight) = 0;
};

}  // namespace murmo
