// The user's input counters and the global input watch on X11: the user's
// presses (from the server's own devices) count and reach monitors as the
// user's; the application's own (from XTest) reach monitors marked and never
// count; a server that goes away stops the listener, not the process; secure
// input is on while password text has the focus.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "AtspiGtkAppTest.h"
#include "XKeycodes.h"
#include "platform/KeyTap.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11RawInputListener.h"
#include "platform/linux/XInputActivity.h"
#include "platform/linux/XInputUserInputWatch.h"
#include "platform/linux/XTestEventPoster.h"
#include "runtime/ManualLoop.h"
#include "support/x11/PrivateXServer.h"
#include "support/x11/XServerKeyboard.h"
#include "support/x11/XServerPointer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::PrivateXServer;
using testing::XServerKeyboard;
using testing::XServerPointer;

using namespace testing::x_keycode;

// What a monitor heard, read from the test's thread.
class HeardEvents {
public:
    UserInputWatch::Handler handler() {
        return [this](const UserInputEvent& event) {
            const std::lock_guard lock(mutex_);
            events_.push_back(event);
            changed_.notify_all();
        };
    }

    bool waitForCount(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return events_.size() >= count; });
    }

    std::vector<UserInputEvent> events() {
        const std::lock_guard lock(mutex_);
        return events_;
    }

    // How many of each type, the user's and the marked ones apart.
    std::map<std::pair<InputEventType, bool>, int> tally() {
        std::map<std::pair<InputEventType, bool>, int> counts;
        for (const auto& event : events())
            ++counts[{event.type, event.sourceUserData == kSyntheticEventUserDataMarker}];
        return counts;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<UserInputEvent> events_;
};

class XInputActivityTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto opened = X11RawInputListener::open();
        ASSERT_TRUE(opened) << opened.error().message;
        listener = std::move(*opened);
        activity = std::make_unique<XInputActivity>(listener);
        watch = std::make_unique<XInputUserInputWatch>(listener);
        auto keyboardOpened = XServerKeyboard::open();
        ASSERT_TRUE(keyboardOpened) << keyboardOpened.error().message;
        keyboard = std::move(*keyboardOpened);
        auto pointerOpened = XServerPointer::open();
        ASSERT_TRUE(pointerOpened) << pointerOpened.error().message;
        pointer = std::move(*pointerOpened);
        auto connected = X11Connection::open();
        ASSERT_TRUE(connected) << connected.error().message;
        connection = std::move(*connected);
    }

    // A click posted the way any XTest client would.
    void postClick(unsigned button) {
        XTestFakeButtonEvent(connection->display(), button, True, CurrentTime);
        XTestFakeButtonEvent(connection->display(), button, False, CurrentTime);
        XSync(connection->display(), False);
    }

    ManualLoop loop;
    std::shared_ptr<X11RawInputListener> listener;
    std::unique_ptr<XInputActivity> activity;
    std::unique_ptr<XInputUserInputWatch> watch;
    std::unique_ptr<XServerKeyboard> keyboard;
    std::unique_ptr<XServerPointer> pointer;
    std::unique_ptr<X11Connection> connection;
};

TEST_F(XInputActivityTest, OnlyTheUsersPressesCountAndThePostedOnesReachMonitorsMarked) {
    HeardEvents heard;
    auto monitor = watch->addGlobalMonitor(heard.handler());
    ASSERT_TRUE(monitor);
    auto poster = XTestEventPoster::open(loop);
    ASSERT_TRUE(poster);

    // The application's own: text, the paste chord, clicks through XTest.
    KeyboardEvent text{.virtualKey = virtual_key::unicodeCarrier, .unicodeString = u"ab"};
    (*poster)->post(text);
    (*poster)->post(KeyboardEvent{.virtualKey = virtual_key::v, .flags = key_event_flags::command});
    (*poster)->post(KeyboardEvent{.virtualKey = virtual_key::v, .keyDown = false});
    for (const unsigned button : {1u, 3u, 2u}) postClick(button);
    // The user's: two keys, and left, right, middle and a wheel step (no
    // press).
    keyboard->tap(kA);
    keyboard->tap(kA);
    for (const unsigned button : {1u, 3u, 2u, 4u}) pointer->click(button);

    ASSERT_TRUE(heard.waitForCount(12));
    using Type = InputEventType;
    const std::map<std::pair<Type, bool>, int> expected{
        {{Type::keyDown, true}, 4},         {{Type::leftMouseDown, true}, 1},  {{Type::rightMouseDown, true}, 1},
        {{Type::otherMouseDown, true}, 1},  {{Type::keyDown, false}, 2},       {{Type::leftMouseDown, false}, 1},
        {{Type::rightMouseDown, false}, 1}, {{Type::otherMouseDown, false}, 1}};
    EXPECT_EQ(heard.tally(), expected);
    EXPECT_EQ(activity->eventCount(Type::keyDown), 2u);
    EXPECT_EQ(activity->eventCount(Type::leftMouseDown), 1u);
    EXPECT_EQ(activity->eventCount(Type::rightMouseDown), 1u);
    EXPECT_EQ(activity->eventCount(Type::otherMouseDown), 1u);
    EXPECT_FALSE(activity->isSecureEventInputEnabled());
}

TEST_F(XInputActivityTest, ARemovedMonitorHearsNothingMoreAndAMonitorMayRemoveItself) {
    HeardEvents kept;
    HeardEvents removed;
    auto keptMonitor = watch->addGlobalMonitor(kept.handler());
    auto removedMonitor = watch->addGlobalMonitor(removed.handler());
    ASSERT_TRUE(keptMonitor && removedMonitor);

    std::mutex selfMutex;
    std::unique_ptr<UserInputMonitor> selfRemoving;
    int selfCalls = 0;
    auto monitor = watch->addGlobalMonitor([&](const UserInputEvent&) {
        const std::lock_guard lock(selfMutex);
        ++selfCalls;
        selfRemoving.reset();
    });
    {
        const std::lock_guard lock(selfMutex);
        selfRemoving = std::move(monitor);
    }

    keyboard->tap(kA);
    ASSERT_TRUE(kept.waitForCount(1));
    ASSERT_TRUE(removed.waitForCount(1));
    removedMonitor.reset();
    keyboard->tap(kA);
    ASSERT_TRUE(kept.waitForCount(2));

    EXPECT_EQ(removed.events().size(), 1u);
    const std::lock_guard lock(selfMutex);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_FALSE(selfRemoving);
}

TEST(XInputListenerLifetimeTest, AServerThatGoesAwayStopsTheListenerNotTheProcess) {
    auto server = PrivateXServer::start();
    ASSERT_TRUE(server) << server.error().message;
    auto opened = X11RawInputListener::open((*server)->displayName());
    ASSERT_TRUE(opened) << opened.error().message;
    auto listener = std::move(*opened);
    XInputUserInputWatch watch(listener);
    XInputActivity activity(listener);
    HeardEvents heard;
    auto monitor = watch.addGlobalMonitor(heard.handler());
    ASSERT_TRUE(monitor);

    (*server)->kill();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (listener->isListening() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);

    EXPECT_FALSE(listener->isListening());
    EXPECT_FALSE(watch.addGlobalMonitor(heard.handler()));
    EXPECT_EQ(activity.eventCount(InputEventType::keyDown), 0u);
    monitor.reset();
}

class XInputActivitySecureInputTest : public testing::AtspiGtkAppTest {};

TEST_F(XInputActivitySecureInputTest, SecureInputIsOnWhilePasswordTextHasTheFocusAndOffAfter) {
    auto opened = XInputActivity::open({}, [this] { return accessibility->isSecureTextFocused(); });
    ASSERT_TRUE(opened) << opened.error().message;
    auto& activity = **opened;
    ASSERT_TRUE(accessibility->startFocusTracking(kTimeout));
    EXPECT_FALSE(activity.isSecureEventInputEnabled());

    EXPECT_TRUE(focusUntilSeen(testing::GtkTestWidget::password, testing::GtkTestWidget::entry,
                               [&] { return activity.isSecureEventInputEnabled(); }));
    ASSERT_TRUE(app->focus(testing::GtkTestWidget::view));
    EXPECT_TRUE(testing::pumpUntil([&] { return !activity.isSecureEventInputEnabled(); }));
}

}  // namespace
}  // namespace murmo
