#pragma once

// Where the agent answer's parts stand in its panel, stacked from the bottom:
// the buttons, the confirmation line, then the answer, which scrolls when it
// needs more room than it gets.

#include <string_view>

#include "input/hud/HUDContentHost.h"
#include "platform/TextMeasure.h"

namespace murmo {

// The answer's height in a column `width` wide in its font: the measured
// height rounded up, plus 1, measured in a box 10,000 points high.
double measuredAnswerHeight(TextMeasure& measure, std::string_view answer, double width);

// Lays out the answer panel's views in `host` for a content area W x H; the
// buttons and the confirmation line count as shown when not hidden.
void layoutAgentAnswer(HUDContentHost& host, double width, double height, TextMeasure& measure);

}  // namespace murmo
