#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/MurmoSyntheticKeyboardEventPolicy.h"
#include "input/ShortcutCaptureMonitor.h"
#include "platform/sim/SimKeyTap.h"
#include "runtime/ManualLoop.h"

namespace murmo {
namespace {

// Only create() can make one: a monitor outside a shared_ptr would never
// complete, since its callbacks hold it weakly.
template <class T>
concept BuiltInPlaceFromBraces = requires(std::shared_ptr<KeyTap> tap, MainLoop& loop) {
    T({}, tap, loop);
};
static_assert(!BuiltInPlaceFromBraces<ShortcutCaptureMonitor>);

constexpr std::uint64_t kFn = key_event_flags::secondaryFn;
constexpr std::uint64_t kCommand = key_event_flags::command;
constexpr std::uint64_t kShift = key_event_flags::shift;
constexpr auto kPass = KeyTapVerdict::pass;
constexpr auto kSwallow = KeyTapVerdict::swallow;

KeyTapEvent marked(KeyTapEvent event) {
    MurmoSyntheticKeyboardEventPolicy::mark(event);
    return event;
}

class ShortcutCaptureMonitorTest : public testing::Test {
protected:
    void SetUp() override {
        monitor->onAction = [this](const ShortcutCaptureAction& action) { actions.push_back(action); };
    }

    ManualLoop loop;
    std::shared_ptr<SimKeyTap> keys = std::make_shared<SimKeyTap>();
    std::shared_ptr<ShortcutCaptureMonitor> monitor = ShortcutCaptureMonitor::create(keys, loop);
    std::vector<ShortcutCaptureAction> actions;
};

struct Step {
    KeyTapEvent event;
    KeyTapVerdict verdict;
    std::optional<ShortcutCaptureAction> action = std::nullopt;
};

TEST_F(ShortcutCaptureMonitorTest, CaptureTable) {
    using K = SimKeyTap;
    const auto cancelled = ShortcutCaptureAction::cancelled();
    const std::vector<std::pair<std::string, std::vector<Step>>> cases{
        {"Escape", {{K::keyDown(53), kSwallow, cancelled}, {K::keyUp(53), kSwallow}}},
        {"repeated Escape keeps capturing",
         {{K::keyDown(53, 0, true), kSwallow},
          {K::keyDown(53, kCommand, true), kSwallow},
          {K::flagsChanged(55, kCommand), kPass},
          {K::keyDown(40, kCommand), kSwallow,
           ShortcutCaptureAction::completed(ShortcutChoice::chord(40, ShortcutModifiers::command))}}},
        {"Command+Shift+K",
         {{K::flagsChanged(55, kCommand), kPass},
          {K::flagsChanged(56, kCommand | kShift), kPass},
          {K::keyDown(40, kCommand | kShift), kSwallow,
           ShortcutCaptureAction::completed(
               ShortcutChoice::chord(40, ShortcutModifiers::command | ShortcutModifiers::shift))},
          {K::keyUp(40, kCommand | kShift), kSwallow},
          {K::keyDown(0), kSwallow},
          {K::keyDown(53), kSwallow}}},
        {"Command+Fn+K",
         {{K::flagsChanged(55, kCommand), kPass},
          {K::flagsChanged(63, kCommand | kFn), kSwallow},
          {K::keyDown(40, kCommand | kFn), kSwallow},
          {K::keyUp(40, kCommand | kFn), kSwallow},
          {K::flagsChanged(63, kCommand), kSwallow},
          {K::flagsChanged(55, 0), kPass}}},
        {"Fn with Shift in between",
         {{K::flagsChanged(63, kFn), kSwallow},
          {K::flagsChanged(56, kFn | kShift), kSwallow},
          {K::flagsChanged(56, kFn), kSwallow},
          {K::flagsChanged(63, 0), kSwallow}}},
        {"Fn alone",
         {{K::flagsChanged(63, kFn), kSwallow},
          {K::flagsChanged(63, 0), kSwallow, ShortcutCaptureAction::completed(ShortcutChoice::function())}}},
        {"a plain letter is swallowed and capturing goes on",
         {{K::keyDown(0), kSwallow}, {K::keyUp(0), kSwallow}, {K::flagsChanged(56, kShift), kPass}}},
        {"keys beyond a shortcut's range are swallowed, ignored, and capturing goes on",
         {{K::keyDown(300, kCommand), kSwallow},
          {K::keyDown(70000, kCommand), kSwallow},
          {K::keyDown(-1, kCommand), kSwallow},
          {K::keyDown(0, kCommand), kSwallow,
           ShortcutCaptureAction::completed(ShortcutChoice::chord(0, ShortcutModifiers::command))}}},
        {"the application's own events pass unseen",
         {{marked(K::keyDown(53)), kPass},
          {marked(K::keyDown(40, kCommand)), kPass},
          {marked(K::flagsChanged(63, kFn)), kPass},
          {K::keyDown(53), kSwallow, cancelled}}},
    };
    for (const auto& [name, steps] : cases) {
        ASSERT_TRUE(monitor->start().has_value());
        actions.clear();
        std::vector<ShortcutCaptureAction> expectedActions;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(keys->send(steps[i].event), steps[i].verdict) << name << ", step " << i;
            if (steps[i].action) expectedActions.push_back(*steps[i].action);
            EXPECT_EQ(actions, expectedActions) << name << ", step " << i;
        }
        monitor->stop();
        EXPECT_EQ(keys->send(SimKeyTap::keyDown(0)), kPass) << name;
    }
}

TEST_F(ShortcutCaptureMonitorTest, StartChecksPermissionsInOrderThenTapCreation) {
    keys->setListenEventAccess(false);
    keys->setAccessibilityTrusted(false);
    EXPECT_EQ(monitor->start(), std::unexpected(ShortcutMonitorError::inputMonitoringPermissionRequired));
    keys->setListenEventAccess(true);
    EXPECT_EQ(monitor->start(), std::unexpected(ShortcutMonitorError::accessibilityPermissionRequired));
    keys->setAccessibilityTrusted(true);
    keys->setCreationFails(true);
    EXPECT_EQ(monitor->start(), std::unexpected(ShortcutMonitorError::eventTapUnavailable));
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(53)), kPass);

    keys->setCreationFails(false);
    keys->setSwallowClaimsRefused(true);
    EXPECT_EQ(monitor->start(), std::unexpected(ShortcutMonitorError::eventTapUnavailable));
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(53)), kPass);

    keys->setSwallowClaimsRefused(false);
    ASSERT_TRUE(monitor->start().has_value());
    ASSERT_TRUE(monitor->start().has_value());
    EXPECT_EQ(keys->createdTapCount(), 2u);
    EXPECT_EQ(keys->enabledTapCount(), 1u);
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(53)), kSwallow);
    EXPECT_EQ(actions, std::vector{ShortcutCaptureAction::cancelled()});
}

TEST_F(ShortcutCaptureMonitorTest, DisabledTapCancelsOnceAndIsEnabledAgain) {
    ASSERT_TRUE(monitor->start().has_value());
    EXPECT_EQ(keys->send(SimKeyTap::flagsChanged(63, kFn)), kSwallow);
    keys->disableTaps(KeyTapEventType::tapDisabledByUserInput);
    EXPECT_EQ(actions, std::vector{ShortcutCaptureAction::cancelled()});
    EXPECT_EQ(keys->enabledTapCount(), 1u);

    // The capture has given its one result; the keyboard stays taken until
    // the owner stops it.
    EXPECT_EQ(keys->send(SimKeyTap::flagsChanged(63, 0)), kSwallow);
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(40, kCommand)), kSwallow);
    keys->disableTaps();
    EXPECT_EQ(actions.size(), 1u);
}

TEST_F(ShortcutCaptureMonitorTest, ACompletedCaptureReportsNothingWhenItsTapIsDisabled) {
    ASSERT_TRUE(monitor->start().has_value());
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(40, kCommand)), kSwallow);
    ASSERT_EQ(actions.size(), 1u);

    keys->disableTaps();
    EXPECT_EQ(actions.size(), 1u);
    EXPECT_EQ(keys->enabledTapCount(), 1u);
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(53)), kSwallow);
    EXPECT_EQ(actions.size(), 1u);
}

TEST_F(ShortcutCaptureMonitorTest, StopAndDropReleaseTheKeyboard) {
    ASSERT_TRUE(monitor->start().has_value());
    EXPECT_EQ(keys->swallowCandidates(1), KeyTapSwallowCandidates::everyKey());
    monitor->stop();
    monitor->stop();
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->swallowCandidates(1), std::nullopt);
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(53)), kPass);
    EXPECT_TRUE(actions.empty());

    // A new start is a fresh capture with a result of its own.
    ASSERT_TRUE(monitor->start().has_value());
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(53)), kSwallow);
    EXPECT_EQ(actions.size(), 1u);

    EXPECT_EQ(keys->swallowCandidates(2), KeyTapSwallowCandidates::everyKey());
    monitor.reset();
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->swallowCandidates(2), std::nullopt);
    EXPECT_EQ(keys->send(SimKeyTap::keyDown(0)), kPass);
}

}  // namespace
}  // namespace murmo
