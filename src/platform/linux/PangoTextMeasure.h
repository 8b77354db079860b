#pragma once

// Text sizes from Pango with the painter's family and settings, so that what
// is measured is what is drawn.

#include "platform/TextMeasure.h"

namespace murmo {

class PangoTextMeasure final : public TextMeasure {
public:
    TextSize measure(std::string_view text, double fontSize, TextWeight weight, double wrapWidth,
                     double maximumHeight) override;
};

}  // namespace murmo
