#include "input/hud/AgentAnswerLayout.h"

#include <gtest/gtest.h>

#include "input/hud/AgentResponsePolicies.h"
#include "platform/sim/SimTextMeasure.h"

namespace murmo {
namespace {

HUDContentHost answerPanel(std::string answer, bool confirmation, bool confirm, bool cancel) {
    HUDContentHost host;
    host.resetAccessories();
    host.agentAnswerScroll.text = std::move(answer);
    host.agentAnswerScroll.hidden = false;
    host.agentConfirmationLabel.hidden = !confirmation;
    host.agentConfirmButton.hidden = !confirm;
    host.agentCancelButton.hidden = !cancel;
    return host;
}

TEST(AgentAnswerLayoutTest, AShortAnswerWithEverythingFitsItsPanelWithoutAScroller) {
    SimTextMeasure measure;
    auto host = answerPanel("Yes, at noon.", true, true, true);
    const double measured = measuredAnswerHeight(measure, host.agentAnswerScroll.text, 324);
    const double height = AgentResponseLayoutPolicy::panelHeight(measured, true, true);
    ASSERT_EQ(height, 93);
    layoutAgentAnswer(host, 360, height, measure);
    EXPECT_EQ(host.agentConfirmButton.frame, (HUDRect{250, 12, 92, 24}));
    EXPECT_EQ(host.agentCancelButton.frame, (HUDRect{167, 12, 76, 24}));
    EXPECT_EQ(host.agentConfirmationLabel.frame, (HUDRect{18, 43, 324, 14}));
    EXPECT_EQ(host.agentAnswerScroll.frame, (HUDRect{18, 64, 324, 17}));
    EXPECT_FALSE(host.agentAnswerShowsScroller);
    EXPECT_EQ(host.agentAnswerTextFrame, (HUDRect{0, 0, 324, 17}));
}

TEST(AgentAnswerLayoutTest, AnAnswerTallerThanItsRoomScrollsOverItsWholeText) {
    SimTextMeasure measure;
    auto host = answerPanel(std::string(4000, 'w'), false, false, false);
    const double height = AgentResponseLayoutPolicy::panelHeight(
        measuredAnswerHeight(measure, host.agentAnswerScroll.text, 324), false, false);
    layoutAgentAnswer(host, 360, height, measure);
    EXPECT_EQ(host.agentAnswerScroll.frame, (HUDRect{18, 12, 324, 180}));
    EXPECT_TRUE(host.agentAnswerShowsScroller);
    EXPECT_EQ(host.agentAnswerTextFrame.width, 312) << "narrowed by the scroller";
    EXPECT_GT(host.agentAnswerTextFrame.height, 180) << "the text view holds the whole answer";

    // Only Confirm: Cancel's frame is computed all the same.
    auto confirmOnly = answerPanel("ok", false, true, false);
    layoutAgentAnswer(confirmOnly, 360, 76, measure);
    EXPECT_EQ(confirmOnly.agentCancelButton.frame, (HUDRect{167, 12, 76, 24}));
    EXPECT_EQ(confirmOnly.agentAnswerScroll.frame.y, 43);
}

}  // namespace
}  // namespace murmo
