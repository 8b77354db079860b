#include "input/hud/AgentResponsePolicies.h"

#include <algorithm>
#include <cmath>

namespace murmo {

double AgentResponseLayoutPolicy::panelHeight(double measuredAnswerHeight, bool showsConfirmationLabel,
                                              bool showsActions) {
    const double measured = std::ceil(measuredAnswerHeight);
    double answer = minimumAnswerHeight;
    if (measured >= maximumAnswerHeight) {
        answer = maximumAnswerHeight;
    } else if (measured >= minimumAnswerHeight) {  // false for NaN
        answer = measured;
    }
    double height = answer + 2 * verticalInset;
    if (showsConfirmationLabel) height += confirmationLabelHeight + interItemGap;
    if (showsActions) height += actionHeight + interItemGap;
    return std::clamp(height, minimumPanelHeight, maximumPanelHeight);
}

double AgentResponseLayoutPolicy::autoDismissDuration(long long characterCount) {
    const double beyond = std::max(0.0, static_cast<double>(characterCount) - 180.0);
    return std::min(std::max(12.0 + beyond / 24.0, 12.0), 30.0);
}

bool AgentResponseInteractionPolicy::shouldDismiss(const HUDRect& panelFrame, double pointerX, double pointerY) {
    const bool empty = panelFrame.width <= 0 || panelFrame.height <= 0;
    const bool inside = !empty && pointerX >= panelFrame.x && pointerX < panelFrame.x + panelFrame.width &&
                        pointerY >= panelFrame.y && pointerY < panelFrame.y + panelFrame.height;
    return !inside;
}

}  // namespace murmo
