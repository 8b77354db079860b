#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "input/GlobalShortcutRouter.h"
#include "input/MurmoSyntheticKeyboardEventPolicy.h"
#include "platform/sim/SimKeyTap.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using K = SimKeyTap;

constexpr std::uint64_t kFn = key_event_flags::secondaryFn;
constexpr std::uint64_t kCommand = key_event_flags::command;
constexpr std::uint64_t kOption = key_event_flags::alternate;
constexpr std::uint64_t kControl = key_event_flags::control;
constexpr std::uint64_t kShift = key_event_flags::shift;
constexpr auto kPass = KeyTapVerdict::pass;
constexpr auto kSwallow = KeyTapVerdict::swallow;

constexpr auto kDictation = ShortcutPurpose::dictation;
constexpr auto kAgent = ShortcutPurpose::agent;
constexpr auto kPressed = ShortcutAction::pressed;
constexpr auto kReleased = ShortcutAction::released;
constexpr auto kCancelled = ShortcutAction::cancelled;

using Reported = std::pair<ShortcutPurpose, ShortcutAction>;

const auto kFunction = ShortcutChoice::function();
// Control+Option+Space.
const auto kSpaceChord = ShortcutChoice::chord(49, ShortcutModifiers::control | ShortcutModifiers::option);
// Command+K.
const auto kCommandK = ShortcutChoice::chord(40, ShortcutModifiers::command);

KeyTapEvent marked(KeyTapEvent event) {
    MurmoSyntheticKeyboardEventPolicy::mark(event);
    return event;
}

class GlobalShortcutRouterTest : public testing::Test {
protected:
    std::shared_ptr<GlobalShortcutRouter> makeRouter(ShortcutChoice dictation,
                                                     std::optional<ShortcutChoice> agent = std::nullopt) {
        auto router = GlobalShortcutRouter::create(keys, SystemClock::shared(), dictation, agent);
        router->onAction = [this](ShortcutPurpose purpose, ShortcutAction action, std::uint64_t uptime) {
            std::lock_guard lock(mutex);
            reported.emplace_back(purpose, action);
            times.push_back(uptime);
            threads.push_back(std::this_thread::get_id());
        };
        return router;
    }

    std::vector<Reported> takeReported() {
        std::lock_guard lock(mutex);
        return std::exchange(reported, {});
    }

    std::shared_ptr<SimKeyTap> keys = std::make_shared<SimKeyTap>();
    std::mutex mutex;
    std::vector<Reported> reported;
    std::vector<std::uint64_t> times;
    std::vector<std::thread::id> threads;
};

struct Step {
    KeyTapEvent event;
    KeyTapVerdict verdict;
    std::vector<Reported> actions = {};
};

struct RouterCase {
    std::string name;
    ShortcutChoice dictation;
    std::optional<ShortcutChoice> agent;
    std::vector<Step> steps;
};

TEST_F(GlobalShortcutRouterTest, SwallowAndReportTable) {
    const std::vector<RouterCase> cases{
        {"Fn alone",
         kFunction,
         std::nullopt,
         {{K::flagsChanged(63, kFn), kSwallow, {{kDictation, kPressed}}},
          {K::flagsChanged(63, 0), kSwallow, {{kDictation, kReleased}}}}},
        {"Fn then Shift: cancelled, quiet until Fn is up, then afresh",
         kFunction,
         std::nullopt,
         {{K::flagsChanged(63, kFn), kSwallow, {{kDictation, kPressed}}},
          {K::flagsChanged(56, kFn | kShift), kPass, {{kDictation, kCancelled}}},
          {K::flagsChanged(56, kFn), kPass},
          {K::flagsChanged(63, 0), kSwallow},
          {K::flagsChanged(63, kFn), kSwallow, {{kDictation, kPressed}}},
          {K::flagsChanged(63, 0), kSwallow, {{kDictation, kReleased}}}}},
        {"Fn then Space: cancelled, and Space reaches the application",
         kFunction,
         std::nullopt,
         {{K::flagsChanged(63, kFn), kSwallow, {{kDictation, kPressed}}},
          {K::keyDown(49, kFn), kPass, {{kDictation, kCancelled}}},
          {K::keyUp(49, kFn), kPass},
          {K::flagsChanged(63, 0), kSwallow}}},
        {"Shift held, then Fn: no press, Fn passes",
         kFunction,
         std::nullopt,
         {{K::flagsChanged(56, kShift), kPass},
          {K::flagsChanged(63, kShift | kFn), kPass},
          {K::flagsChanged(63, kShift), kPass},
          {K::flagsChanged(56, 0), kPass}}},
        {"held chord, Option released first: repeats and the late key-up are still swallowed",
         kSpaceChord,
         std::nullopt,
         {{K::flagsChanged(59, kControl), kPass},
          {K::flagsChanged(58, kControl | kOption), kPass},
          {K::keyDown(49, kControl | kOption), kSwallow, {{kDictation, kPressed}}},
          {K::keyDown(49, kControl | kOption, true), kSwallow},
          {K::flagsChanged(58, kControl), kPass, {{kDictation, kReleased}}},
          {K::keyDown(49, kControl, true), kSwallow},
          {K::keyUp(49, kControl), kSwallow},
          {K::flagsChanged(59, 0), kPass},
          {K::keyDown(49), kPass},
          {K::keyUp(49), kPass}}},
        {"held chord, Control released first",
         kSpaceChord,
         std::nullopt,
         {{K::keyDown(49, kControl | kOption), kSwallow, {{kDictation, kPressed}}},
          {K::flagsChanged(59, kOption), kPass, {{kDictation, kReleased}}},
          {K::flagsChanged(58, 0), kPass},
          {K::keyUp(49), kSwallow}}},
        {"chord with an extra modifier held still presses",
         kSpaceChord,
         std::nullopt,
         {{K::keyDown(49, kControl | kOption | kShift), kSwallow, {{kDictation, kPressed}}},
          {K::keyUp(49, kControl | kOption | kShift), kSwallow, {{kDictation, kReleased}}}}},
        {"chord key without its modifiers passes",
         kSpaceChord,
         std::nullopt,
         {{K::keyDown(49, kControl), kPass}, {K::keyUp(49, kControl), kPass}, {K::keyDown(48, kControl | kOption), kPass}}},
        {"two shortcuts on one event: dictation reported first",
         ShortcutChoice::chord(49, ShortcutModifiers::control),
         kSpaceChord,
         {{K::keyDown(49, kControl | kOption), kSwallow, {{kDictation, kPressed}, {kAgent, kPressed}}},
          {K::flagsChanged(58, kControl), kPass, {{kAgent, kReleased}}},
          {K::keyUp(49, kControl), kSwallow, {{kDictation, kReleased}}}}},
        {"Fn dictation beside a Command+K agent",
         kFunction,
         kCommandK,
         {{K::flagsChanged(63, kFn), kSwallow, {{kDictation, kPressed}}},
          {K::flagsChanged(55, kFn | kCommand), kPass, {{kDictation, kCancelled}}},
          {K::keyDown(40, kFn | kCommand), kSwallow, {{kAgent, kPressed}}},
          {K::keyUp(40, kFn | kCommand), kSwallow, {{kAgent, kReleased}}},
          {K::flagsChanged(55, kFn), kPass},
          {K::flagsChanged(63, 0), kSwallow}}},
        {"the application's own events never reach the reducers nor are swallowed",
         kFunction,
         kSpaceChord,
         {{marked(K::flagsChanged(63, kFn)), kPass},
          {marked(K::flagsChanged(63, 0)), kPass},
          {marked(K::keyDown(49, kControl | kOption)), kPass},
          {marked(K::keyUp(49, kControl | kOption)), kPass},
          {K::flagsChanged(63, kFn), kSwallow, {{kDictation, kPressed}}},
          // Typing the previous dictation's text while Fn is held again.
          {marked(K::keyDown(9, kFn)), kPass},
          {marked(K::keyUp(9, kFn)), kPass},
          {K::flagsChanged(63, 0), kSwallow, {{kDictation, kReleased}}}}},
        {"a key code beyond 16 bits is never wrapped onto the shortcut's key",
         kSpaceChord,
         std::nullopt,
         {{K::keyDown(49 + 65536, kControl | kOption), kPass},
          {K::keyDown(-65536 + 49, kControl | kOption), kPass},
          {K::keyUp(49 + 65536, kControl | kOption), kPass}}},
    };

    for (const auto& [name, dictation, agent, steps] : cases) {
        auto router = makeRouter(dictation, agent);
        ASSERT_TRUE(router->start().has_value()) << name;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(keys->send(steps[i].event), steps[i].verdict) << name << ", step " << i;
            EXPECT_EQ(takeReported(), steps[i].actions) << name << ", step " << i;
        }
        router->stop();
    }
}

TEST_F(GlobalShortcutRouterTest, ActionsCarryTheEventTimeAndArriveOnTheRouterThread) {
    auto router = makeRouter(kFunction);
    ASSERT_TRUE(router->start().has_value());
    const auto before = SystemClock::shared().uptimeNanoseconds();
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    const auto after = SystemClock::shared().uptimeNanoseconds();

    std::lock_guard lock(mutex);
    ASSERT_EQ(times.size(), 1u);
    EXPECT_GE(times[0], before);
    EXPECT_LE(times[0], after);
    EXPECT_NE(threads[0], std::this_thread::get_id());
}

TEST_F(GlobalShortcutRouterTest, DisabledTapCancelsHeldShortcutsAndIsEnabledAgain) {
    auto router = makeRouter(kFunction, kSpaceChord);
    ASSERT_TRUE(router->start().has_value());
    EXPECT_EQ(keys->send(K::keyDown(49, kControl | kOption)), kSwallow);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kAgent, kPressed}}));

    keys->disableTaps(KeyTapEventType::tapDisabledByTimeout);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kAgent, kCancelled}}));
    EXPECT_EQ(keys->enabledTapCount(), 1u);

    // Its swallowed key-down was forgotten with the rest, so the key-up passes.
    EXPECT_EQ(keys->send(K::keyUp(49, kControl | kOption)), kPass);
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    keys->disableTaps(KeyTapEventType::tapDisabledByUserInput);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kDictation, kPressed}, {kDictation, kCancelled}}));
    EXPECT_EQ(keys->send(K::flagsChanged(63, 0)), kPass);
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kDictation, kPressed}}));
}

TEST_F(GlobalShortcutRouterTest, StartAndStopAreIdempotentAndStopReportsNothing) {
    auto router = makeRouter(kFunction);
    router->stop();
    ASSERT_TRUE(router->start().has_value());
    ASSERT_TRUE(router->start().has_value());
    EXPECT_EQ(keys->createdTapCount(), 1u);

    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kDictation, kPressed}}));
    router->stop();
    router->stop();
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->threadServedTapCount(), 0u);
    EXPECT_EQ(keys->send(K::flagsChanged(63, 0)), kPass);
    EXPECT_TRUE(takeReported().empty());

    // Restarted, it starts from a clean slate on a new tap and thread.
    ASSERT_TRUE(router->start().has_value());
    EXPECT_EQ(keys->createdTapCount(), 2u);
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kDictation, kPressed}}));
}

TEST_F(GlobalShortcutRouterTest, StartChecksPermissionsInOrderThenTapCreation) {
    auto router = makeRouter(kFunction);
    keys->setListenEventAccess(false);
    keys->setAccessibilityTrusted(false);
    EXPECT_EQ(router->start(), std::unexpected(ShortcutMonitorError::inputMonitoringPermissionRequired));
    keys->setListenEventAccess(true);
    EXPECT_EQ(router->start(), std::unexpected(ShortcutMonitorError::accessibilityPermissionRequired));
    keys->setAccessibilityTrusted(true);
    keys->setCreationFails(true);
    EXPECT_EQ(router->start(), std::unexpected(ShortcutMonitorError::eventTapUnavailable));
    EXPECT_EQ(keys->createdTapCount(), 0u);

    keys->setCreationFails(false);
    ASSERT_TRUE(router->start().has_value());
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
}

TEST_F(GlobalShortcutRouterTest, StartGivesUpWhenTheThreadNeverConfirms) {
    auto router = makeRouter(kFunction);
    keys->holdThreadAttachments();
    const auto began = std::chrono::steady_clock::now();
    const auto result = router->start();
    const auto waited = std::chrono::steady_clock::now() - began;

    EXPECT_EQ(result, std::unexpected(ShortcutMonitorError::eventTapUnavailable));
    // Bounded by the 1.0 s start wait; the slack only absorbs a loaded machine.
    EXPECT_LT(waited, 10s);
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kPass);

    // The late thread finds its start retired and leaves; a new start works.
    keys->releaseThreadAttachments();
    ASSERT_TRUE(router->start().has_value());
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kDictation, kPressed}}));
}

TEST_F(GlobalShortcutRouterTest, ADroppedRouterStopsSwallowing) {
    auto router = makeRouter(kSpaceChord);
    ASSERT_TRUE(router->start().has_value());
    EXPECT_EQ(keys->send(K::keyDown(49, kControl | kOption)), kSwallow);

    router.reset();
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->send(K::keyUp(49, kControl | kOption)), kPass);
    EXPECT_EQ(keys->send(K::keyDown(49, kControl | kOption)), kPass);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kDictation, kPressed}}));
}

TEST_F(GlobalShortcutRouterTest, ARouterDroppedOnItsOwnThreadStopsSwallowing) {
    std::mutex ownerMutex;
    auto owned = GlobalShortcutRouter::create(keys, SystemClock::shared(), kFunction);
    // The owner lets go from inside the action callback, so the last strong
    // reference dies on the router thread itself.
    owned->onAction = [&ownerMutex, &owned](ShortcutPurpose, ShortcutAction, std::uint64_t) {
        std::shared_ptr<GlobalShortcutRouter> dropped;
        std::lock_guard lock(ownerMutex);
        dropped = std::move(owned);
    };
    ASSERT_TRUE(owned->start().has_value());

    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    {
        std::lock_guard lock(ownerMutex);
        EXPECT_EQ(owned, nullptr);
    }
    EXPECT_TRUE(keys->waitUntilNoLiveTaps(10s));
    EXPECT_EQ(keys->send(K::flagsChanged(63, 0)), kPass);
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kPass);
}

}  // namespace
}  // namespace murmo
