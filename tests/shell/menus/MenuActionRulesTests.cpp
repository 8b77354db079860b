#include "shell/menus/MenuActionRules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace murmo {
namespace {

TEST(MenuActionRulesTest, PauseResumesOnlyWhilePaused) {
    EXPECT_EQ(MenuActionRules::pauseCommand(true), MenuActionRules::PauseCommand::resume);
    EXPECT_EQ(MenuActionRules::pauseCommand(false), MenuActionRules::PauseCommand::pause);
}

TEST(MenuActionRulesTest, LaunchAtLoginAsksForTheOppositeOfWhatCountsAsOn) {
    struct Case {
        NativeLaunchAtLoginState current;
        bool request;
    };
    using S = NativeLaunchAtLoginStatus;
    const Case cases[] = {
        {{.value = true, .status = S::enabled}, false},
        {{.value = false, .status = S::disabled}, true},
        // Awaiting the user's approval counts as on: choosing it withdraws.
        {{.value = true, .status = S::requiresApproval}, false},
        {{.value = false, .status = S::unavailable}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.current.status)));
        EXPECT_EQ(MenuActionRules::launchAtLoginRequest(c.current), c.request);
    }
}

TEST(MenuActionRulesTest, EachPermissionCheckAsksForItsOwnPermission) {
    for (const auto action : kAllMenuActions) {
        SCOPED_TRACE(std::string(rawValue(action)));
        std::optional<NativePermissionKind> expected;
        if (action == MenuAction::requestMic) expected = NativePermissionKind::microphone;
        if (action == MenuAction::requestAccessibility) expected = NativePermissionKind::accessibility;
        if (action == MenuAction::requestInput) expected = NativePermissionKind::inputMonitoring;
        EXPECT_EQ(MenuActionRules::requestedPermission(action), expected);
    }
}

TEST(MenuActionRulesTest, TogglingTheSidebarStoresTheOtherState) {
    EXPECT_EQ(MenuActionRules::sidebarAfterToggle(NativeSidebarPreference::collapsed),
              NativeSidebarPreference::expanded);
    EXPECT_EQ(MenuActionRules::sidebarAfterToggle(NativeSidebarPreference::expanded),
              NativeSidebarPreference::collapsed);
}

TEST(MenuActionRulesTest, SelectorsOfTheCommandsAndTheEditActions) {
    EXPECT_EQ(rawValue(MenuAction::togglePause), "togglePause");
    EXPECT_EQ(rawValue(MenuAction::requestInput), "requestInput");
    EXPECT_EQ(rawValue(MenuAction::selectAll), "selectAll:");
    for (const auto action : kAllMenuActions) {
        const auto selector = rawValue(action);
        EXPECT_FALSE(selector.empty());
        EXPECT_EQ(selector.ends_with(':'), isStandardEditAction(action)) << selector;
    }
}

}  // namespace
}  // namespace murmo
