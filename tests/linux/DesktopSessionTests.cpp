// The test desktop every linux test runs in: an X server with a window
// manager and a session bus, the X test client holding the focus, and the
// server's own keyboard reaching it in the current layout.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "FocusedClientTest.h"
#include "XKeycodes.h"
#include "platform/linux/X11Connection.h"
#include "support/XTestClientProcess.h"
#include "support/x11/XServerKeyboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace murmo {
namespace {

using testing::XServerKeyboard;
using testing::XTestClientKeyEvent;
using testing::XTestClientProcess;

using namespace testing::x_keycode;

unsigned long windowProperty(Display* display, Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    unsigned long value = 0;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, XA_WINDOW, &type, &format,
                           &count, &after, &data) == Success &&
        data && count == 1 && format == 32) {
        value = *reinterpret_cast<unsigned long*>(data);
    }
    if (data) XFree(data);
    return value;
}

using DesktopSessionTest = testing::FocusedClientTest;

TEST_F(DesktopSessionTest, TheClientHoldsTheFocusOnAManagedScreenWithASessionBus) {
    auto connection = X11Connection::open();
    ASSERT_TRUE(connection) << connection.error().message;
    Display* display = (*connection)->display();
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    EXPECT_EQ(focus, client->window());
    const Window root = DefaultRootWindow(display);
    EXPECT_NE(windowProperty(display, root, "_NET_SUPPORTING_WM_CHECK"), 0u);
    EXPECT_EQ(windowProperty(display, root, "_NET_ACTIVE_WINDOW"), client->window());
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_TRUE(bus && *bus);
}

TEST_F(DesktopSessionTest, KeysOfTheServersKeyboardReachTheClientInTheCurrentLayout) {
    struct Case {
        const char* layout;
        bool shifted;
        unsigned keycode;
        const char* keysym;
        std::string text;
    };
    const std::vector<Case> cases{
        {"us", false, kY, "y", "y"},
        {"us", true, kDigit2, "at", "@"},
        {"de", false, kY, "z", "z"},
        {"de", false, kSemicolon, "odiaeresis", "\xc3\xb6"},
        {"de", true, kDigit2, "quotedbl", "\""},
    };
    std::string layout = "us";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + c.keysym);
        if (layout != c.layout) {
            layout = c.layout;
            ASSERT_EQ(std::system(("setxkbmap " + layout).c_str()), 0) << "setxkbmap failed";
        }
        const auto before = client->keyEvents().size();
        if (c.shifted) keyboard->press(kShiftL);
        keyboard->tap(c.keycode);
        if (c.shifted) keyboard->release(kShiftL);
        const std::size_t count = c.shifted ? 4 : 2;
        ASSERT_TRUE(client->waitForKeyEvents(before + count));
        const auto& events = client->keyEvents();
        ASSERT_EQ(events.size(), before + count);
        const auto press = events[before + (c.shifted ? 1 : 0)];
        const auto release = events[before + (c.shifted ? 2 : 1)];
        EXPECT_EQ(press, (XTestClientKeyEvent{.press = true,
                                              .keycode = c.keycode,
                                              .keysym = c.keysym,
                                              .state = c.shifted ? unsigned{ShiftMask} : 0u,
                                              .text = c.text}));
        EXPECT_FALSE(release.press);
        EXPECT_EQ(release.keycode, c.keycode);
    }
}

}  // namespace
}  // namespace murmo
