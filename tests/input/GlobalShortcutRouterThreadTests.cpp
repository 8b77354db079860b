#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "input/ConfirmationWait.h"
#include "input/GlobalShortcutRouter.h"
#include "input/MurmoSyntheticKeyboardEventPolicy.h"
#include "platform/sim/SimKeyTap.h"
#include "runtime/SystemClock.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;

// Only create() makes a router.
template <class T>
concept BuiltInPlaceFromBraces = requires(std::shared_ptr<KeyTap> tap, const Clock& clock, ShortcutChoice choice) {
    T({}, tap, clock, choice, std::nullopt, nullptr);
};
static_assert(!BuiltInPlaceFromBraces<GlobalShortcutRouter>);
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

// Whether a tap that claimed `claims` can withhold `event` where only claimed
// keys can be withheld: a key-down needs its candidate's flags, its repeats
// and key-up follow whatever the flags.
bool claimed(const KeyTapSwallowCandidates& claims, const KeyTapEvent& event) {
    if (claims.wholeKeyboard) return true;
    return std::ranges::any_of(claims.keys, [&](const KeyTapSwallowCandidate& candidate) {
        if (candidate.keyCode != event.keyCode) return false;
        const bool press = event.type == KeyTapEventType::keyDown && event.autorepeat == 0;
        return !press || (event.flags & candidate.flags) == candidate.flags;
    });
}

class GlobalShortcutRouterTest : public testing::Test {
protected:
    std::shared_ptr<GlobalShortcutRouter> makeRouter(ShortcutChoice dictation,
                                                     std::optional<ShortcutChoice> agent = std::nullopt) {
        auto router = GlobalShortcutRouter::create(keys, SystemClock::shared(), dictation, agent);
        router->onAction = [this](ShortcutPurpose purpose, ShortcutAction action, MonotonicTime arose) {
            std::lock_guard lock(mutex);
            reported.emplace_back(purpose, action);
            times.push_back(arose);
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
    std::vector<MonotonicTime> times;
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
         {{K::keyDown(49, kControl), kPass},
          {K::keyUp(49, kControl), kPass},
          {K::keyDown(48, kControl | kOption), kPass}}},
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
        const auto claims = keys->swallowCandidates(keys->createdTapCount());
        ASSERT_TRUE(claims.has_value()) << name;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(keys->send(steps[i].event), steps[i].verdict) << name << ", step " << i;
            EXPECT_EQ(takeReported(), steps[i].actions) << name << ", step " << i;
            // Every event the router swallows must be one its tap claimed.
            if (steps[i].verdict == kSwallow) {
                EXPECT_TRUE(claimed(*claims, steps[i].event)) << name << ", step " << i;
            }
        }
        router->stop();
    }
}

TEST_F(GlobalShortcutRouterTest, ClaimsExactlyItsShortcutKeysAndGivesThemUpWhenStopped) {
    struct ClaimCase {
        std::string name;
        ShortcutChoice dictation;
        std::optional<ShortcutChoice> agent;
        std::vector<KeyTapSwallowCandidate> claimed;
    };
    const std::vector<ClaimCase> cases{
        {"Fn alone", kFunction, std::nullopt, {{63, 0}}},
        {"Fn and a chord", kFunction, kSpaceChord, {{63, 0}, {49, kControl | kOption}}},
        {"two chords", kCommandK, kSpaceChord, {{40, kCommand}, {49, kControl | kOption}}},
        {"one chord for both", kSpaceChord, kSpaceChord, {{49, kControl | kOption}}},
        {"a chord of Shift alone", ShortcutChoice::chord(122, ShortcutModifiers::shift), std::nullopt, {{122, kShift}}},
    };
    for (const auto& [name, dictation, agent, expected] : cases) {
        auto router = makeRouter(dictation, agent);
        ASSERT_TRUE(router->start().has_value()) << name;
        const auto tapID = keys->createdTapCount();
        EXPECT_EQ(keys->swallowCandidates(tapID), (KeyTapSwallowCandidates{.wholeKeyboard = false, .keys = expected}))
            << name;
        router->stop();
        EXPECT_EQ(keys->swallowCandidates(tapID), std::nullopt) << name;
    }
}

TEST_F(GlobalShortcutRouterTest, AClaimAnotherApplicationHoldsFailsTheStart) {
    auto router = makeRouter(kSpaceChord);
    keys->setSwallowClaimsRefused(true);
    EXPECT_EQ(router->start(), std::unexpected(ShortcutMonitorError::eventTapUnavailable));
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->threadServedTapCount(), 0u);
    EXPECT_EQ(keys->send(K::keyDown(49, kControl | kOption)), kPass);
    EXPECT_TRUE(takeReported().empty());

    keys->setSwallowClaimsRefused(false);
    ASSERT_TRUE(router->start().has_value());
    EXPECT_EQ(keys->send(K::keyDown(49, kControl | kOption)), kSwallow);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kDictation, kPressed}}));
}

TEST_F(GlobalShortcutRouterTest, ActionsCarryTheEventTimeAndArriveOnTheRouterThread) {
    auto router = makeRouter(kFunction);
    ASSERT_TRUE(router->start().has_value());
    const auto before = SystemClock::shared().now();
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    const auto after = SystemClock::shared().now();

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

// How start() spends its limit, in virtual time: it records each limit, and
// either waits for the thread's confirmation (which takes no time worth
// counting) or, when the test says the thread is held back for good, lets the
// whole limit pass at once.
class VirtualStartWait final : public ConfirmationWait {
public:
    bool waitFor(const ConfirmationLatch& confirmation, Duration limit) override {
        limits.push_back(limit);
        if (threadHeldBack) return confirmation.isRaised();
        // A bound only for a broken test; the thread confirms at once.
        return confirmation.waitFor(10s);
    }

    bool threadHeldBack = false;
    std::vector<Duration> limits;
};

TEST_F(GlobalShortcutRouterTest, StartWaitsOneSecondForItsThreadThenGivesUp) {
    auto wait = std::make_shared<VirtualStartWait>();
    auto router = GlobalShortcutRouter::create(keys, SystemClock::shared(), kFunction, std::nullopt, wait);
    router->onAction = [this](ShortcutPurpose purpose, ShortcutAction action, MonotonicTime) {
        std::lock_guard lock(mutex);
        reported.emplace_back(purpose, action);
    };

    keys->holdThreadAttachments();
    wait->threadHeldBack = true;
    EXPECT_EQ(router->start(), std::unexpected(ShortcutMonitorError::eventTapUnavailable));
    EXPECT_EQ(wait->limits, std::vector<Duration>{1s});
    EXPECT_EQ(keys->liveTapCount(), 0u);
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kPass);

    // The late thread finds its start retired and leaves; a new start works.
    keys->releaseThreadAttachments();
    wait->threadHeldBack = false;
    ASSERT_TRUE(router->start().has_value());
    EXPECT_EQ(wait->limits, (std::vector<Duration>{1s, 1s}));
    EXPECT_EQ(keys->send(K::flagsChanged(63, kFn)), kSwallow);
    EXPECT_EQ(takeReported(), (std::vector<Reported>{{kDictation, kPressed}}));
}

TEST_F(GlobalShortcutRouterTest, NoActionReachesTheOwnerOnceTheRouterIsDropped) {
    // What one router's owner sees; it outlives the router.
    struct Owner {
        std::atomic<bool> dropped{false};
        std::atomic<int> actions{0};
        std::atomic<int> actionsAfterDrop{0};
    };
    std::atomic<bool> typing{true};
    // The user keeps pressing and releasing a key that both shortcuts share,
    // so each event carries two actions, while routers come and go.
    std::thread user([&] {
        while (typing) {
            keys->send(K::keyDown(49, kControl | kOption));
            keys->send(K::keyUp(49, kControl | kOption));
        }
    });

    std::vector<std::shared_ptr<Owner>> owners;
    for (int round = 0; round < 200; ++round) {
        auto owner = owners.emplace_back(std::make_shared<Owner>());
        auto router = GlobalShortcutRouter::create(keys, SystemClock::shared(),
                                                   ShortcutChoice::chord(49, ShortcutModifiers::control), kSpaceChord);
        router->onAction = [owner](ShortcutPurpose, ShortcutAction, MonotonicTime) {
            if (owner->dropped) owner->actionsAfterDrop++;
            owner->actions++;
            // An owner's callback takes a moment (it stamps and posts).
            std::this_thread::sleep_for(100us);
        };
        ASSERT_TRUE(router->start().has_value());
        // Drop it just as an event's first action arrives, so that the drop
        // races the event's second action.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (owner->actions == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        router.reset();
        owner->dropped = true;
    }
    // Each send waits for the tap's verdict, so once the user is done every
    // callback that was in hand has returned.
    typing = false;
    user.join();
    int actionsAfterDrop = 0;
    for (const auto& owner : owners) actionsAfterDrop += owner->actionsAfterDrop;
    EXPECT_EQ(actionsAfterDrop, 0);
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

TEST_F(GlobalShortcutRouterTest, ARouterDroppedInsideItsOwnCallbackDeliversNothingMoreAndStopsSwallowing) {
    std::mutex ownerMutex;
    int calls = 0;
    // One event presses both shortcuts, so it carries two actions.
    std::unique_ptr<GlobalShortcutRouter> owned = GlobalShortcutRouter::create(
        keys, SystemClock::shared(), ShortcutChoice::chord(49, ShortcutModifiers::control), kSpaceChord);
    // The owner lets go from inside the action callback, on the router thread.
    owned->onAction = [&](ShortcutPurpose, ShortcutAction, MonotonicTime) {
        std::unique_ptr<GlobalShortcutRouter> dropped;
        std::lock_guard lock(ownerMutex);
        ++calls;
        dropped = std::move(owned);
    };
    ASSERT_TRUE(owned->start().has_value());

    EXPECT_EQ(keys->send(K::keyDown(49, kControl | kOption)), kSwallow);
    {
        std::lock_guard lock(ownerMutex);
        EXPECT_EQ(owned, nullptr);
        // The event's second action came after the router was gone.
        EXPECT_EQ(calls, 1);
    }
    EXPECT_TRUE(keys->waitUntilNoLiveTaps(10s));
    EXPECT_EQ(keys->send(K::keyUp(49, kControl | kOption)), kPass);
    EXPECT_EQ(keys->send(K::keyDown(49, kControl | kOption)), kPass);
}

}  // namespace
}  // namespace murmo
