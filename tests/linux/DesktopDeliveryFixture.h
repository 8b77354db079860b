#pragma once

// Dictated text delivered into a real GTK application through the Linux
// desktop's own ports (accessibility bus, window manager hints, /proc, the X
// clipboard and posted keys), as the application composes them: one
// LinuxDesktop on the GLib loop, the paste engine and the focus text injector
// on its ports. The user's clipboard is held by another program.

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "delivery/FocusTextInjector.h"
#include "runtime/glib/GLibLoop.h"
#include "support/ClipboardOwnerProcess.h"
#include "support/GtkTestAppProcess.h"
#include "support/LinuxDeliveryStack.h"

namespace murmo::testing {

// The user's clipboard: text and an image, every byte value in the image.
struct UsersClipboard {
    PasteboardBytes text = pasteboardBytes("quarterly numbers ünlü");
    PasteboardBytes image = ClipboardOwnerProcess::pattern(4096);
};

class DesktopDeliveryTest : public ::testing::Test {
protected:
    static constexpr auto kPatience = std::chrono::seconds(10);

    void SetUp() override {
        stack = std::make_unique<LinuxDeliveryStack>(loop);
        ASSERT_TRUE(stack->desktop->missingCapabilities().empty()) << stack->desktop->missingCapabilities().front();
        ports = &stack->ports;
        injector = stack->injector;
    }

    // Runs the loop until `done` holds; false when the patience ran out.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds patience = kPatience) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // The GTK application in front with `widget` focused and holding `text`,
    // known to the accessibility bus and the window manager.
    std::unique_ptr<GtkTestAppProcess> launchApplication(GtkTestWidget widget, const std::string& text = {},
                                                         bool accessible = true) {
        auto launched = GtkTestAppProcess::launch(MURMO_GTK_TEST_APP_PATH, {.accessible = accessible});
        EXPECT_TRUE(launched) << launched.error().message;
        if (!launched) return nullptr;
        auto app = std::move(*launched);
        if (!text.empty()) {
            EXPECT_TRUE(app->set(widget, text));
        }
        EXPECT_TRUE(app->focus(widget));
        if (!text.empty()) {
            // Focusing an entry selects all of it; the user's caret is at the end.
            const auto end = static_cast<int>(std::count_if(text.begin(), text.end(), [](unsigned char byte) {
                return (byte & 0xC0) != 0x80;  // a code point's first byte
            }));
            EXPECT_TRUE(app->select(widget, end, end));
        }
        const auto pid = app->pid();
        EXPECT_TRUE(pumpUntil([&] {
            auto front = ports->workspace.frontmostApplication();
            return front && front->processIdentifier == pid;
        })) << "the application never came to the front";
        if (accessible) {
            EXPECT_TRUE(pumpUntil([&] { return focusedElementPID() == pid; })) << "its focus never reached the bus";
        }
        return app;
    }

    std::optional<std::int32_t> focusedElementPID() {
        auto& accessibility = ports->accessibility;
        auto focused =
            accessibility.copyAttributeValue(accessibility.systemWideElement(), axattr::focusedUIElement, 1.0f);
        if (focused.error != axerror::success || !focused.value) return std::nullopt;
        const auto* element = std::get_if<AXElement>(&*focused.value);
        if (!element) return std::nullopt;
        return accessibility.ownerPID(*element).value;
    }

    // Another program owning the clipboard with the user's text and image.
    std::unique_ptr<ClipboardOwnerProcess> userCopies(const UsersClipboard& clipboard) {
        auto owner = launchClipboardProgram();
        if (!owner) return nullptr;
        EXPECT_TRUE(owner->offer("UTF8_STRING", clipboard.text));
        EXPECT_TRUE(owner->offer("image/png", clipboard.image));
        EXPECT_TRUE(owner->own());
        return owner;
    }

    std::unique_ptr<ClipboardOwnerProcess> launchClipboardProgram() {
        auto launched = ClipboardOwnerProcess::launch(MURMO_CLIPBOARD_OWNER_PATH);
        EXPECT_TRUE(launched) << launched.error().message;
        return launched ? std::move(*launched) : nullptr;
    }

    // Waits until another application reads exactly the user's clipboard.
    void expectClipboardRestored(const UsersClipboard& clipboard) {
        auto reader = launchClipboardProgram();
        ASSERT_TRUE(reader);
        EXPECT_TRUE(pumpUntil([&] { return reader->read("UTF8_STRING") == clipboard.text; }))
            << "the user's text never came back";
        EXPECT_EQ(reader->read("image/png"), clipboard.image);
    }

    // Waits until another application reads `text` as the clipboard's only
    // content.
    void expectClipboardHoldsOnly(const std::string& text) {
        auto reader = launchClipboardProgram();
        ASSERT_TRUE(reader);
        EXPECT_TRUE(pumpUntil([&] { return reader->read("UTF8_STRING") == pasteboardBytes(text); }))
            << "the clipboard never held the text alone";
        EXPECT_EQ(reader->read("image/png"), std::nullopt);
    }

    FocusReservation reserve() { return injector->reserve("target-1"); }

    std::optional<DeliveryResult> deliver(const std::string& text, const FocusTargetSnapshot& target) {
        std::optional<DeliveryResult> result;
        injector->deliver(
            text, target, [](MonotonicTime) {}, [&](DeliveryResult delivered) { result = std::move(delivered); });
        pumpUntil([&] { return result.has_value(); });
        return result;
    }

    std::optional<DeliveryResult> deliverToCurrentFocus(const std::string& text, const FocusHostPin& pin) {
        std::optional<DeliveryResult> result;
        injector->deliver(
            text, pin, "no_focused_element", [](MonotonicTime) {},
            [&](DeliveryResult delivered) { result = std::move(delivered); });
        pumpUntil([&] { return result.has_value(); });
        return result;
    }

    GLibLoop loop;
    std::unique_ptr<LinuxDeliveryStack> stack;
    DesktopPorts* ports = nullptr;
    std::shared_ptr<FocusTextInjector> injector;
};

}  // namespace murmo::testing
