#include "services/AppearanceCoordinator.h"

#include <gtest/gtest.h>

#include "platform/sim/SimChrome.h"

namespace murmo {
namespace {

using Preference = NativeAppearancePreference;
using Resolved = NativeResolvedAppearance;

TEST(AppearanceCoordinatorTest, ResolutionAndWindowAppearanceTable) {
    const struct {
        Preference preference;
        bool systemDark;
        Resolved resolved;
        WindowAppearance window;
    } rows[] = {
        {Preference::system, false, Resolved::light, WindowAppearance::followSystem},
        {Preference::system, true, Resolved::dark, WindowAppearance::followSystem},
        {Preference::light, true, Resolved::light, WindowAppearance::aqua},
        {Preference::dark, false, Resolved::dark, WindowAppearance::darkAqua},
        {Preference::black, false, Resolved::black, WindowAppearance::darkAqua},
    };
    SimChrome chrome;
    AppearanceCoordinator coordinator(chrome);
    for (const auto& row : rows) {
        chrome.setDarkAppearance(row.systemDark);
        const auto state = coordinator.state(row.preference);
        EXPECT_EQ(state, (NativeAppearanceState{row.preference, row.resolved})) << rawValue(row.preference);
        EXPECT_EQ(AppearanceCoordinator::appKitAppearance(state), row.window) << rawValue(row.preference);
    }
}

TEST(AppearanceCoordinatorTest, BeforeTheApplicationExistsTheSystemCountsAsLight) {
    SimChrome chrome;
    chrome.setDarkAppearance(true);
    chrome.setApplicationExists(false);
    EXPECT_EQ(AppearanceCoordinator(chrome).state(Preference::system).resolved, Resolved::light);
}

TEST(AppearanceCoordinatorTest, BlackChromeIsPureBlackWhileItsWorkspaceIsDarkGrey) {
    EXPECT_EQ(AppearanceCoordinator::chromeColor(Resolved::black), (RGBAColor{0, 0, 0, 1}));
    EXPECT_EQ(AppearanceCoordinator::workspaceChromeColor(Resolved::black), RGBAColor::fromBytes(9, 9, 9));
    EXPECT_EQ(AppearanceCoordinator::workspaceSidebarColor(Resolved::black), RGBAColor::fromBytes(17, 17, 17));
    EXPECT_EQ(AppearanceCoordinator::chromeColor(Resolved::light),
              (RGBAColor{248 / 255.0, 247 / 255.0, 245 / 255.0, 1}));
}

}  // namespace
}  // namespace murmo
