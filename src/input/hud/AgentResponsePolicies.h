#pragma once

// The agent answer panel's geometry, when an answer without buttons hides by
// itself, and which clicks dismiss it. Pure arithmetic on points and seconds.

#include "input/hud/HUDContentHost.h"

namespace murmo {

namespace AgentResponseLayoutPolicy {
inline constexpr double panelWidth = 360;
inline constexpr double horizontalInset = 18;
inline constexpr double verticalInset = 12;
inline constexpr double answerFontSize = 13;
inline constexpr double minimumAnswerHeight = 17;
inline constexpr double maximumAnswerHeight = 180;
inline constexpr double minimumPanelHeight = 45;
inline constexpr double maximumPanelHeight = 255;
inline constexpr double confirmationLabelHeight = 14;
inline constexpr double actionHeight = 24;
inline constexpr double interItemGap = 7;
// Every row spans the panel less its side insets.
inline constexpr double rowWidth = panelWidth - 2 * horizontalInset;

// The panel's height for an answer measured at `measuredAnswerHeight` (a
// height that is not a number counts as the smallest).
double panelHeight(double measuredAnswerHeight, bool showsConfirmationLabel, bool showsActions);
// 12 s, plus a second per 24 characters beyond 180, at most 30 s.
double autoDismissDuration(long long characterCount);
}  // namespace AgentResponseLayoutPolicy

namespace AgentResponseInteractionPolicy {
// True when the pointer lies outside the panel, by the rectangle rule that
// counts the left and bottom edges in and the right and top edges out (an
// empty frame contains nothing). Screen coordinates.
bool shouldDismiss(const HUDRect& panelFrame, double pointerX, double pointerY);
}  // namespace AgentResponseInteractionPolicy

}  // namespace murmo
