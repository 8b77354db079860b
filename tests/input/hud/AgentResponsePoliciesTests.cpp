#include "input/hud/AgentResponsePolicies.h"

#include <gtest/gtest.h>

#include <cmath>

namespace murmo {
namespace {

namespace layout = AgentResponseLayoutPolicy;

TEST(AgentResponsePoliciesTest, PanelHeights) {
    const struct {
        double measured;
        bool confirmation, actions;
        double height;
    } rows[] = {
        {0, false, false, 45},         {16.2, false, false, 45},  {100.3, false, false, 125},
        {100.3, true, true, 177},      {1000, false, false, 204}, {1000, true, true, 255},
        {17, true, false, 62},         {17, false, true, 72},     {std::nan(""), false, false, 45},
        {INFINITY, false, false, 204},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(layout::panelHeight(row.measured, row.confirmation, row.actions), row.height)
            << row.measured << " " << row.confirmation << " " << row.actions;
    }
    EXPECT_EQ(layout::rowWidth, 324);
}

TEST(AgentResponsePoliciesTest, AutomaticHideAndOutsideClicks) {
    const std::pair<long long, double> durations[] = {{0, 12},   {180, 12},  {204, 13}, {420, 22},
                                                      {612, 30}, {5000, 30}, {-7, 12}};
    for (const auto& [count, seconds] : durations) EXPECT_EQ(layout::autoDismissDuration(count), seconds) << count;

    const HUDRect panel{100, 50, 360, 93};
    EXPECT_FALSE(AgentResponseInteractionPolicy::shouldDismiss(panel, 100, 60)) << "the left edge is inside";
    EXPECT_TRUE(AgentResponseInteractionPolicy::shouldDismiss(panel, 460, 60)) << "the right edge is outside";
    EXPECT_FALSE(AgentResponseInteractionPolicy::shouldDismiss(panel, 200, 50));
    EXPECT_TRUE(AgentResponseInteractionPolicy::shouldDismiss(panel, 200, 143));
    EXPECT_TRUE(AgentResponseInteractionPolicy::shouldDismiss(HUDRect{0, 0, 0, 0}, 0, 0)) << "empty: contains nothing";
}

}  // namespace
}  // namespace murmo
