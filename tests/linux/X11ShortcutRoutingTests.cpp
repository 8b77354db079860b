// The shortcut router and the shortcut capture on the X11 key tap, in the
// test desktop: what the user's keys start, what the focused window still
// gets, grabs other clients hold, and a server that goes away.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "FocusedClientTest.h"
#include "XKeycodes.h"
#include "input/GlobalShortcutRouter.h"
#include "input/ShortcutCaptureMonitor.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11KeyTap.h"
#include "runtime/ManualLoop.h"
#include "runtime/SystemClock.h"
#include "support/XTestClientProcess.h"
#include "support/x11/PrivateXServer.h"
#include "support/x11/XServerKeyboard.h"

#include <X11/Xlib.h>

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::PrivateXServer;
using testing::XServerKeyboard;
using testing::XTestClientProcess;

using namespace testing::x_keycode;

const auto kControlOptionSpace = ShortcutChoice::chord(49, ShortcutModifiers::control | ShortcutModifiers::option);

using Reported = std::pair<ShortcutPurpose, ShortcutAction>;
constexpr auto kDictation = ShortcutPurpose::dictation;
constexpr auto kAgent = ShortcutPurpose::agent;

// What a router reports, as its owner sees it.
class ReportedActions {
public:
    void attach(GlobalShortcutRouter& router) {
        router.onAction = [this](ShortcutPurpose purpose, ShortcutAction action, MonotonicTime) {
            {
                std::lock_guard lock(mutex_);
                reported_.emplace_back(purpose, action);
            }
            changed_.notify_all();
        };
    }

    // Waits for `count` actions in all and takes them.
    std::vector<Reported> take(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 5s, [&] { return reported_.size() >= count; });
        return std::exchange(reported_, {});
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Reported> reported_;
};

class X11ShortcutRoutingTest : public testing::KeyTapOnFocusedClientTest {
protected:
    std::unique_ptr<GlobalShortcutRouter> makeRouter(ShortcutChoice dictation,
                                                     std::optional<ShortcutChoice> agent = std::nullopt) {
        auto router = GlobalShortcutRouter::create(keys, SystemClock::shared(), dictation, agent);
        actions.attach(*router);
        return router;
    }

    ReportedActions actions;
};

TEST_F(X11ShortcutRoutingTest, TheShortcutIsSwallowedInEveryLockStateWhileOtherKeysReachTheWindow) {
    auto router = makeRouter(kControlOptionSpace, ShortcutChoice::function());
    ASSERT_TRUE(router->start().has_value());
    struct Case {
        const char* name;
        unsigned lockKey;
    };
    for (const auto& [name, lockKey] : {Case{"no lock", 0}, Case{"Caps Lock", kCapsLock}, Case{"Num Lock", kNumLock}}) {
        SCOPED_TRACE(name);
        if (lockKey) keyboard->tap(lockKey);

        keyboard->press(kControlL);
        keyboard->press(kAltL);
        keyboard->press(kSpace);
        EXPECT_EQ(actions.take(1), (std::vector<Reported>{{kDictation, ShortcutAction::pressed}}));
        keyboard->release(kSpace);
        EXPECT_EQ(actions.take(1), (std::vector<Reported>{{kDictation, ShortcutAction::released}}));
        keyboard->release(kAltL);
        keyboard->release(kControlL);

        keyboard->press(kMenu);
        EXPECT_EQ(actions.take(1), (std::vector<Reported>{{kAgent, ShortcutAction::pressed}}));
        keyboard->release(kMenu);
        EXPECT_EQ(actions.take(1), (std::vector<Reported>{{kAgent, ShortcutAction::released}}));

        // Space alone is the user's typing.
        typeAndAwait(kSpace);
        typeAndAwait(kA);
        if (lockKey) keyboard->tap(lockKey);
        EXPECT_EQ(clientEventsOf(kMenu), 0);
    }
    // Each case's one unswallowed Space press and release; the modifiers
    // around the shortcut reach the window as typed.
    EXPECT_EQ(clientEventsOf(kSpace), 6);
    EXPECT_EQ(clientEventsOf(kControlL), 6);
    EXPECT_EQ(clientEventsOf(kAltL), 6);
}

TEST_F(X11ShortcutRoutingTest, AShortcutAnotherClientHoldsFailsTheStart) {
    auto other = X11Connection::open();
    ASSERT_TRUE(other);
    Display* display = (*other)->display();
    const Window root = DefaultRootWindow(display);
    struct Case {
        const char* name;
        unsigned keycode;
        unsigned modifiers;
        ShortcutChoice shortcut;
    };
    const std::vector<Case> cases{
        {"the chord itself", kSpace, ControlMask | Mod1Mask, kControlOptionSpace},
        {"the chord with Num Lock on", kSpace, ControlMask | Mod1Mask | Mod2Mask, kControlOptionSpace},
        {"Menu for Fn/Globe", kMenu, 0, ShortcutChoice::function()},
    };
    for (const auto& [name, keycode, modifiers, shortcut] : cases) {
        SCOPED_TRACE(name);
        XGrabKey(display, static_cast<int>(keycode), modifiers, root, False, GrabModeAsync, GrabModeAsync);
        XSync(display, False);
        auto router = makeRouter(shortcut);
        EXPECT_EQ(router->start(), std::unexpected(ShortcutMonitorError::eventTapUnavailable));

        XUngrabKey(display, static_cast<int>(keycode), modifiers, root);
        XSync(display, False);
        EXPECT_TRUE(router->start().has_value());
    }

    // The capture needs the whole keyboard.
    ManualLoop loop;
    auto monitor = ShortcutCaptureMonitor::create(keys, loop);
    ASSERT_EQ(XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
    XSync(display, False);
    EXPECT_EQ(monitor->start(), std::unexpected(ShortcutMonitorError::eventTapUnavailable));
    XUngrabKeyboard(display, CurrentTime);
    XSync(display, False);
    EXPECT_TRUE(monitor->start().has_value());
}

TEST_F(X11ShortcutRoutingTest, TheCaptureReturnsThePressedChordAndGivesTheKeyboardBackOnEveryExit) {
    auto other = X11Connection::open();
    ASSERT_TRUE(other);
    Display* display = (*other)->display();
    const auto keyboardIsFree = [&] {
        const bool free = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync,
                                        CurrentTime) == GrabSuccess;
        XUngrabKeyboard(display, CurrentTime);
        XSync(display, False);
        return free;
    };

    ManualLoop loop;
    for (const char* exit : {"stop", "drop"}) {
        SCOPED_TRACE(exit);
        auto monitor = ShortcutCaptureMonitor::create(keys, loop);
        std::vector<ShortcutCaptureAction> captured;
        monitor->onAction = [&](const ShortcutCaptureAction& action) { captured.push_back(action); };
        ASSERT_TRUE(monitor->start().has_value());
        EXPECT_FALSE(keyboardIsFree());
        const auto before = client->keyEvents().size();

        keyboard->press(kControlL);
        keyboard->press(kShiftL);
        keyboard->tap(kK);
        keyboard->release(kShiftL);
        keyboard->release(kControlL);
        ASSERT_TRUE(loop.pumpUntil([&] { return !captured.empty(); }, 5s));
        EXPECT_EQ(captured, std::vector{ShortcutCaptureAction::completed(
                                ShortcutChoice::chord(40, ShortcutModifiers::control | ShortcutModifiers::shift))});

        if (std::string_view(exit) == "stop") {
            monitor->stop();
        } else {
            monitor.reset();
        }
        EXPECT_TRUE(keyboardIsFree());
        typeAndAwait(kA);
        // Nothing typed during the capture reached the window.
        EXPECT_EQ(client->keyEvents().size(), before + 2);
    }
}

TEST_F(X11ShortcutRoutingTest, AServerThatGoesAwayEndsTheTapWithANoticeAndTheProcessCarriesOn) {
    auto server = PrivateXServer::start();
    ASSERT_TRUE(server) << server.error().message;
    auto privateKeys = X11KeyTap::open((*server)->displayName());
    ASSERT_TRUE(privateKeys) << privateKeys.error().message;
    auto privateKeyboard = XServerKeyboard::open((*server)->displayName());
    ASSERT_TRUE(privateKeyboard) << privateKeyboard.error().message;

    auto router = GlobalShortcutRouter::create(*privateKeys, SystemClock::shared(), kControlOptionSpace);
    actions.attach(*router);
    ASSERT_TRUE(router->start().has_value());
    (*privateKeyboard)->press(kControlL);
    (*privateKeyboard)->press(kAltL);
    (*privateKeyboard)->press(kSpace);
    EXPECT_EQ(actions.take(1), (std::vector<Reported>{{kDictation, ShortcutAction::pressed}}));

    (*server)->kill();
    // The held shortcut ends with the tap's disabled notice.
    EXPECT_EQ(actions.take(1), (std::vector<Reported>{{kDictation, ShortcutAction::cancelled}}));
    // Nothing more is asked of the gone server: another test's server may
    // take its display number at once.
    router->stop();
    router.reset();
}

}  // namespace
}  // namespace murmo
