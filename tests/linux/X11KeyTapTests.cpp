// The X11 key tap on its own, served by a thread as the router serves it:
// the events its callback gets for the user's keys and the application's own,
// and what a grabbed key does while the callback decides and after the tap
// is gone.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "FocusedClientTest.h"
#include "XKeycodes.h"
#include "platform/InputActivity.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11KeyTap.h"
#include "support/XTestClientProcess.h"
#include "support/x11/XServerKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::XServerKeyboard;
using testing::XTestClientProcess;

using namespace testing::x_keycode;

namespace f = key_event_flags;

KeyTapEvent event(KeyTapEventType type, std::int64_t keyCode, std::uint64_t flags, bool synthetic = false,
                  bool repeat = false) {
    return KeyTapEvent{.type = type,
                       .keyCode = keyCode,
                       .flags = flags,
                       .autorepeat = repeat ? 1 : 0,
                       .sourceUserData = synthetic ? kSyntheticEventUserDataMarker : 0};
}
constexpr auto kDown = KeyTapEventType::keyDown;
constexpr auto kUp = KeyTapEventType::keyUp;
constexpr auto kFlags = KeyTapEventType::flagsChanged;

// A tap served by a thread of its own, recording what its callback gets and
// answering with `decide`.
class ServedTap {
public:
    using Decide = std::function<KeyTapVerdict(const KeyTapEvent&)>;

    ServedTap(KeyTap& keys, Decide decide) : decide_(std::move(decide)) {
        tap = keys.createTap([this](const KeyTapEvent& event) {
            {
                std::lock_guard lock(mutex_);
                events_.push_back(event);
            }
            changed_.notify_all();
            return decide_ ? decide_(event) : KeyTapVerdict::pass;
        });
        if (!tap) return;
        thread_ = std::thread([this, served = tap] {
            served->attachToCurrentThread();
            attached_.set_value();
            while (!stop_) served->runOnce(100ms);
        });
        attached_.get_future().wait();
        tap->setEnabled(true);
    }

    ~ServedTap() {
        stop_ = true;
        if (tap) tap->detachThread();
        if (thread_.joinable()) thread_.join();
        if (tap) tap->invalidate();
    }

    bool waitForEvents(std::size_t count, Duration timeout = 5s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
    }

    std::vector<KeyTapEvent> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

    std::shared_ptr<KeyEventTap> tap;

private:
    Decide decide_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<KeyTapEvent> events_;
    std::promise<void> attached_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

using X11KeyTapTest = testing::KeyTapOnFocusedClientTest;

TEST_F(X11KeyTapTest, TheServerOffersWhatTheTapNeeds) {
    EXPECT_TRUE(keys->listenEventAccessGranted());
    EXPECT_TRUE(keys->accessibilityTrusted());
    EXPECT_TRUE(keys->requestListenEventAccess());
}

// Keys by position in any layout, modifiers as flag changes with the flags
// held after them, Menu standing in for Fn/Globe, and keys the application
// posts through XTest marked as its own.
TEST_F(X11KeyTapTest, UserKeysArriveByPositionWithTheFlagsHeldAfterThem) {
    for (const char* layout : {"us", "de"}) {
        SCOPED_TRACE(layout);
        ASSERT_EQ(std::system((std::string("setxkbmap ") + layout).c_str()), 0);
        ServedTap served(*keys, nullptr);
        ASSERT_TRUE(served.tap);

        keyboard->press(kControlL);
        keyboard->tap(kA);
        keyboard->press(kShiftR);
        keyboard->tap(kY);
        keyboard->release(kControlL);
        keyboard->release(kShiftR);
        keyboard->press(kAltR);
        keyboard->release(kAltR);
        keyboard->press(kMenu);
        keyboard->release(kMenu);
        {
            auto connection = X11Connection::open();
            ASSERT_TRUE(connection);
            XTestFakeKeyEvent((*connection)->display(), kA, True, CurrentTime);
            XTestFakeKeyEvent((*connection)->display(), kA, False, CurrentTime);
            XSync((*connection)->display(), False);
        }
        const std::vector<KeyTapEvent> expected{
            event(kFlags, 59, f::control),
            event(kDown, 0, f::control),
            event(kUp, 0, f::control),
            event(kFlags, 60, f::control | f::shift),
            // The key at Y's place, whatever the layout puts on it.
            event(kDown, 16, f::control | f::shift),
            event(kUp, 16, f::control | f::shift),
            event(kFlags, 59, f::shift),
            event(kFlags, 60, 0),
            event(kFlags, 61, f::alternate),
            event(kFlags, 61, 0),
            event(kFlags, 63, f::secondaryFn),
            event(kFlags, 63, 0),
            event(kDown, 0, 0, /*synthetic=*/true),
            event(kUp, 0, 0, /*synthetic=*/true),
        };
        ASSERT_TRUE(served.waitForEvents(expected.size()));
        EXPECT_EQ(served.events(), expected);
    }
}

TEST_F(X11KeyTapTest, AClaimedKeyHeldRepeatsAsFlaggedKeyDownsAndNeverReachesTheWindow) {
    ServedTap served(*keys, [](const KeyTapEvent& e) {
        return e.keyCode == 49 && e.type == kDown ? KeyTapVerdict::swallow : KeyTapVerdict::pass;
    });
    ASSERT_TRUE(served.tap);
    ASSERT_TRUE(served.tap->setSwallowCandidates({.wholeKeyboard = false, .keys = {{49, f::control}}}));
    {
        // Repeats soon, so the hold below is short.
        auto connection = X11Connection::open();
        ASSERT_TRUE(connection);
        XkbSetAutoRepeatRate((*connection)->display(), XkbUseCoreKbd, 30, 10);
        XSync((*connection)->display(), False);
    }

    keyboard->press(kControlL);
    keyboard->press(kSpace);
    ASSERT_TRUE(served.waitForEvents(5));
    keyboard->release(kSpace);
    keyboard->release(kControlL);
    // Space without Control is not claimed: it reaches the window.
    typeAndAwait(kSpace);

    // The tap hears the keys on a connection of its own, which may lag
    // behind the window.
    ASSERT_TRUE(served.waitForEvents(7));
    const auto events = served.events();
    EXPECT_EQ(events[0], event(kFlags, 59, f::control));
    EXPECT_EQ(events[1], event(kDown, 49, f::control));
    const auto repeats = std::ranges::count(events, event(kDown, 49, f::control, false, /*repeat=*/true));
    EXPECT_GE(repeats, 2);
    EXPECT_EQ(std::ranges::count(events, event(kDown, 49, f::control)), 1);
    const auto& events_ = client->keyEvents();
    const auto spaces = std::ranges::count_if(events_, [](const auto& e) { return e.keycode == kSpace; });
    EXPECT_EQ(spaces, 2) << "only the unclaimed press and its release";
}

// The server holds the keyboard while the callback decides; a tap switched
// off meanwhile lets that press through, and nothing stays grabbed or held.
TEST_F(X11KeyTapTest, ATapInvalidatedWhileTheServerHoldsAPressLetsItThrough) {
    std::promise<void> deciding;
    std::promise<void> decide;
    auto decided = decide.get_future().share();
    std::atomic<bool> first{true};
    ServedTap served(*keys, [&](const KeyTapEvent& e) {
        if (e.keyCode == 49 && e.type == kDown && first.exchange(false)) {
            deciding.set_value();
            decided.wait();
            return KeyTapVerdict::swallow;
        }
        return KeyTapVerdict::pass;
    });
    ASSERT_TRUE(served.tap);
    ASSERT_TRUE(served.tap->setSwallowCandidates({.wholeKeyboard = false, .keys = {{49, 0}}}));

    keyboard->press(kSpace);
    ASSERT_EQ(deciding.get_future().wait_for(5s), std::future_status::ready);
    served.tap->invalidate();
    decide.set_value();
    keyboard->release(kSpace);
    typeAndAwait(kA);

    EXPECT_TRUE(client->waitUntil([](const auto& events) {
        return std::ranges::count_if(events, [](const auto& e) { return e.keycode == kSpace; }) == 2;
    }));
    EXPECT_TRUE(client->keyEvents().front().press);
    EXPECT_EQ(client->keyEvents().front().keycode, kSpace);
}

// A claimed key whose press was swallowed keeps the keyboard grabbed until
// it is released; a tap switched off before that gives the grab back, so
// the release and every later key reach the window.
TEST_F(X11KeyTapTest, ATapInvalidatedWhileASwallowedKeyIsDownGivesTheKeyboardBack) {
    ServedTap served(
        *keys, [](const KeyTapEvent& e) { return e.keyCode == 49 ? KeyTapVerdict::swallow : KeyTapVerdict::pass; });
    ASSERT_TRUE(served.tap);
    ASSERT_TRUE(served.tap->setSwallowCandidates({.wholeKeyboard = false, .keys = {{49, 0}}}));
    keyboard->press(kSpace);
    ASSERT_TRUE(served.waitForEvents(1));

    served.tap->invalidate();
    keyboard->release(kSpace);
    typeAndAwait(kA);
    // The swallow may not have reached the server before the tap went (the
    // press then passes), and the release may still meet the grab the
    // swallowed press holds (the window then sees neither). Whichever way the
    // race goes, the window never keeps a press without its release.
    std::vector<bool> spaceEvents;
    for (const auto& event : client->keyEvents()) {
        if (event.keycode == kSpace) spaceEvents.push_back(event.press);
    }
    const std::vector<std::vector<bool>> allowed{{}, {false}, {true, false}};
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), spaceEvents), allowed.end()) << spaceEvents.size();
    // Nothing of ours grabs the keyboard any more.
    auto other = X11Connection::open();
    ASSERT_TRUE(other);
    Display* display = (*other)->display();
    EXPECT_EQ(XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync, CurrentTime),
              GrabSuccess);
    XUngrabKeyboard(display, CurrentTime);
}

}  // namespace
}  // namespace murmo
