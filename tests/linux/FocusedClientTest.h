#pragma once

// A test in the private desktop with the X test client's window focused and
// the server's own keyboard to play the user.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/linux/X11KeyTap.h"
#include "support/XTestClientProcess.h"
#include "support/x11/XServerKeyboard.h"

namespace murmo::testing {

class FocusedClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto launched = XTestClientProcess::launch(MURMO_X_TEST_CLIENT_PATH);
        ASSERT_TRUE(launched) << launched.error().message;
        client = std::move(*launched);
        auto opened = XServerKeyboard::open();
        ASSERT_TRUE(opened) << opened.error().message;
        keyboard = std::move(*opened);
    }

    // How many events of `keycode` the client received.
    long clientEventsOf(unsigned keycode) {
        return std::ranges::count_if(client->keyEvents(), [&](const auto& e) { return e.keycode == keycode; });
    }

    // Types `keycode` and waits until the client has its release: every key
    // event before it has arrived by then.
    void typeAndAwait(unsigned keycode) {
        const auto releases = [&](const auto& events) {
            return std::ranges::count_if(events, [&](const auto& e) { return e.keycode == keycode && !e.press; });
        };
        const auto before = releases(client->keyEvents());
        keyboard->tap(keycode);
        ASSERT_TRUE(client->waitUntil([&](const auto& events) { return releases(events) > before; }));
    }

    std::unique_ptr<XTestClientProcess> client;
    std::unique_ptr<XServerKeyboard> keyboard;
};

// The same with the X11 key tap of the session's server.
class KeyTapOnFocusedClientTest : public FocusedClientTest {
protected:
    void SetUp() override {
        FocusedClientTest::SetUp();
        if (HasFatalFailure()) return;
        auto tap = X11KeyTap::open();
        ASSERT_TRUE(tap) << tap.error().message;
        keys = std::move(*tap);
    }

    std::shared_ptr<X11KeyTap> keys;
};

}  // namespace murmo::testing
