#include "input/hud/AgentAnswerLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "input/hud/AgentResponsePolicies.h"

namespace murmo {

namespace policy = AgentResponseLayoutPolicy;

namespace {

// The panel grows with its answer only up to a bound; the text it scrolls
// over is the whole answer, however long.
constexpr double kMeasuringHeight = 10'000;
constexpr double kUnbounded = std::numeric_limits<double>::infinity();
constexpr double kConfirmWidth = 92;
constexpr double kCancelWidth = 76;
constexpr double kButtonGap = 7;
constexpr double kScrollerWidth = 12;

double textHeight(TextMeasure& measure, std::string_view answer, double width, double box) {
    const auto size = measure.measure(answer, policy::answerFontSize, TextWeight::regular, width, box);
    return std::ceil(size.height) + 1;
}

}  // namespace

double measuredAnswerHeight(TextMeasure& measure, std::string_view answer, double width) {
    return textHeight(measure, answer, width, kMeasuringHeight);
}

void layoutAgentAnswer(HUDContentHost& host, double width, double height, TextMeasure& measure) {
    const double inset = policy::horizontalInset;
    double y = policy::verticalInset;
    if (!host.agentConfirmButton.hidden || !host.agentCancelButton.hidden) {
        const double confirmX = width - inset - kConfirmWidth;
        host.agentConfirmButton.frame = {confirmX, y, kConfirmWidth, policy::actionHeight};
        host.agentCancelButton.frame = {confirmX - kButtonGap - kCancelWidth, y, kCancelWidth, policy::actionHeight};
        y += policy::actionHeight + policy::interItemGap;
    }
    const double contentWidth = std::max(width - 2 * inset, 0.0);
    if (!host.agentConfirmationLabel.hidden) {
        host.agentConfirmationLabel.frame = {inset, y, contentWidth, policy::confirmationLabelHeight};
        y += policy::confirmationLabelHeight + policy::interItemGap;
    }
    const double shown = std::max(height - y - policy::verticalInset, 0.0);
    host.agentAnswerScroll.frame = {inset, y, contentWidth, shown};

    const auto& answer = host.agentAnswerScroll.text;
    double textWidth = contentWidth;
    double needed = textHeight(measure, answer, std::max(contentWidth, 1.0), kUnbounded);
    host.agentAnswerShowsScroller = shown < needed;
    if (host.agentAnswerShowsScroller) {
        textWidth = contentWidth - kScrollerWidth;
        needed = textHeight(measure, answer, std::max(textWidth, 1.0), kUnbounded);
    }
    host.agentAnswerTextFrame = {0, 0, std::max(textWidth, 0.0), std::max(shown, needed)};
}

}  // namespace murmo
