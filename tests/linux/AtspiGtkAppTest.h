#pragma once

// A test in the private desktop with the GTK test application on the
// session's accessibility bus, and this process's own GLib main context to
// pump (where the accessibility backend's focus events arrive).

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/linux/AtspiAccessibility.h"
#include "support/GtkTestAppProcess.h"

namespace murmo::testing {

// Runs the default main context until `done` holds; false when `timeout`
// passed first.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class AtspiGtkAppTest : public ::testing::Test {
protected:
    static constexpr AXMessagingTimeout kTimeout = 2.0f;

    void SetUp() override {
        auto launched = GtkTestAppProcess::launch(MURMO_GTK_TEST_APP_PATH);
        ASSERT_TRUE(launched) << launched.error().message;
        app = std::move(*launched);
        accessibility = std::make_unique<AtspiAccessibility>();
        // The toolkit joins the accessibility bus's registry a moment after
        // its window shows.
        ASSERT_TRUE(pumpUntil([&] { return isOnTheBus(*accessibility, app->pid()); }, std::chrono::seconds(10)));
    }

    static bool isOnTheBus(Accessibility& accessibility, std::int32_t pid) {
        return accessibility.copyAttributeValue(accessibility.applicationElement(pid), axattr::role, kTimeout).error ==
               axerror::success;
    }

    // The application's focused element once `widget` has the focus.
    AXElement focusedElementAfterFocusing(GtkTestWidget widget) {
        auto focused = app->focus(widget);
        EXPECT_TRUE(focused) << focused.error().message;
        return focusedElementOf(*accessibility, app->pid());
    }

    // Gives `widget` the focus until `seen` holds. Toolkits send focus events
    // only once the registry has told them somebody listens, a moment after
    // the tracker starts (longer on a loaded machine): until then the focus
    // moves away (to `away`) and back.
    bool focusUntilSeen(GtkTestWidget widget, GtkTestWidget away, const std::function<bool()>& seen) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            if (!app->focus(widget)) return false;
            if (pumpUntil(seen, std::chrono::seconds(1))) return true;
            if (!app->focus(away)) return false;
        }
        return false;
    }

    static AXElement focusedElementOf(Accessibility& accessibility, std::int32_t pid) {
        auto result = accessibility.copyAttributeValue(accessibility.applicationElement(pid),
                                                       axattr::focusedUIElement, kTimeout);
        EXPECT_EQ(result.error, axerror::success);
        if (!result.value) return {};
        const auto* element = std::get_if<AXElement>(&*result.value);
        return element ? *element : AXElement();
    }

    std::optional<std::string> stringAttribute(const AXElement& element, std::string_view attribute) {
        auto result = accessibility->copyAttributeValue(element, attribute, kTimeout);
        if (result.error != axerror::success || !result.value) return std::nullopt;
        const auto* text = std::get_if<std::string>(&*result.value);
        if (!text) return std::nullopt;
        return *text;
    }

    std::unique_ptr<GtkTestAppProcess> app;
    std::unique_ptr<AtspiAccessibility> accessibility;
};

}  // namespace murmo::testing
