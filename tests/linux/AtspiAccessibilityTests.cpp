// The accessibility backend over AT-SPI2 against a real GTK 4 application on
// the session's accessibility bus: roles, text and ranges in UTF-16, writing
// through the selection, focus (followed and found), identity, owners, and
// the time-outs a hung or exited application must not stretch; an
// unreachable bus disables the interface.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AtspiGtkAppTest.h"
#include "platform/linux/AtspiAccessibility.h"
#include "runtime/Unicode.h"
#include "support/GtkTestAppProcess.h"

namespace murmo {
namespace {

using namespace std::chrono_literals;
using testing::AtspiGtkAppTest;
using testing::GtkTestAppProcess;
using testing::GtkTestWidget;
using testing::pumpUntil;

constexpr char kDictated[] = "Grüße 👋 çok iyi";

std::int64_t utf16Length(std::string_view text) { return static_cast<std::int64_t>(*unicode::utf16Length(text)); }

class AtspiAccessibilityTest : public AtspiGtkAppTest {};

TEST_F(AtspiAccessibilityTest, EachWidgetReadsWithTheRoleAndSubroleDeliveryComparesAgainst) {
    struct Case {
        GtkTestWidget widget;
        std::string role;
        std::optional<std::string> subrole;
    };
    const std::vector<Case> cases{
        {GtkTestWidget::entry, "AXTextField", std::nullopt},
        {GtkTestWidget::view, "AXTextArea", std::nullopt},
        {GtkTestWidget::password, "AXTextField", "AXSecureTextField"},
        {GtkTestWidget::paste, "AXGroup", std::nullopt},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(static_cast<int>(item.widget));
        const auto element = focusedElementAfterFocusing(item.widget);
        ASSERT_TRUE(element);
        EXPECT_EQ(stringAttribute(element, axattr::role), item.role);
        auto subrole = accessibility->copyAttributeValue(element, axattr::subrole, kTimeout);
        if (item.subrole) {
            ASSERT_EQ(subrole.error, axerror::success);
            EXPECT_EQ(std::get<std::string>(*subrole.value), *item.subrole);
        } else {
            EXPECT_EQ(subrole.error, axerror::noValue);
        }
    }
}

TEST_F(AtspiAccessibilityTest, ValueSelectionAndRangeCountUTF16UnitsWhereTheBusCountsCharacters) {
    // Characters 1..4 are "ß👋c": 3 characters, 4 UTF-16 units after one.
    for (const auto widget : {GtkTestWidget::entry, GtkTestWidget::view}) {
        SCOPED_TRACE(static_cast<int>(widget));
        ASSERT_TRUE(app->set(widget, "aß👋cd"));
        const auto element = focusedElementAfterFocusing(widget);
        ASSERT_TRUE(element);
        ASSERT_TRUE(app->select(widget, 1, 4));
        EXPECT_EQ(stringAttribute(element, axattr::value), "aß👋cd");
        EXPECT_EQ(stringAttribute(element, axattr::selectedText), "ß👋c");
        auto range = accessibility->copyAttributeValue(element, axattr::selectedTextRange, kTimeout);
        ASSERT_EQ(range.error, axerror::success);
        EXPECT_EQ(std::get<AXTextRange>(*range.value), (AXTextRange{1, 4}));
    }
}

TEST_F(AtspiAccessibilityTest, SettingTheSelectedTextReplacesTheSelectionAndLeavesTheCaretAfterIt) {
    for (const auto widget : {GtkTestWidget::entry, GtkTestWidget::view}) {
        SCOPED_TRACE(static_cast<int>(widget));
        ASSERT_TRUE(app->set(widget, "Hello 👋 world"));
        const auto element = focusedElementAfterFocusing(widget);
        ASSERT_TRUE(element);
        ASSERT_TRUE(app->select(widget, 8, 13));  // "world"
        auto settable = accessibility->isAttributeSettable(element, axattr::selectedText, kTimeout);
        ASSERT_EQ(settable.error, axerror::success);
        EXPECT_TRUE(*settable.value);

        ASSERT_EQ(accessibility->setAttributeValue(element, axattr::selectedText, std::string(kDictated), kTimeout),
                  axerror::success);

        const std::string expected = std::string("Hello 👋 ") + kDictated;
        EXPECT_EQ(stringAttribute(element, axattr::value), expected);
        EXPECT_EQ(app->read(widget).value_or("<unread>"), expected);
        auto range = accessibility->copyAttributeValue(element, axattr::selectedTextRange, kTimeout);
        ASSERT_EQ(range.error, axerror::success);
        EXPECT_EQ(std::get<AXTextRange>(*range.value), (AXTextRange{utf16Length(expected), 0}));
    }
}

TEST_F(AtspiAccessibilityTest, TheGroupPaneAndPasswordTextAreNotWritableThroughTheSelectionWhereTheyHaveNoText) {
    const auto pane = focusedElementAfterFocusing(GtkTestWidget::paste);
    ASSERT_TRUE(pane);
    auto settable = accessibility->isAttributeSettable(pane, axattr::selectedText, kTimeout);
    ASSERT_EQ(settable.error, axerror::success);
    EXPECT_FALSE(*settable.value);
    EXPECT_EQ(accessibility->copyAttributeValue(pane, axattr::value, kTimeout).error, axerror::attributeUnsupported);
    EXPECT_EQ(accessibility->setAttributeValue(pane, axattr::selectedText, std::string("x"), kTimeout),
              axerror::attributeUnsupported);
}

TEST_F(AtspiAccessibilityTest, ElementsAreTheSameWhenLookedUpTwiceAndDifferForDifferentWidgets) {
    const auto entry = focusedElementAfterFocusing(GtkTestWidget::entry);
    const auto entryAgain = focusedElementOf(*accessibility, app->pid());
    const auto view = focusedElementAfterFocusing(GtkTestWidget::view);
    ASSERT_TRUE(entry && entryAgain && view);
    EXPECT_EQ(entry, entryAgain);
    EXPECT_EQ(entry.hash(), entryAgain.hash());
    EXPECT_NE(entry, view);

    auto entryParent = accessibility->copyAttributeValue(entry, axattr::parent, kTimeout);
    auto viewParent = accessibility->copyAttributeValue(view, axattr::parent, kTimeout);
    ASSERT_EQ(entryParent.error, axerror::success);
    ASSERT_EQ(viewParent.error, axerror::success);
    EXPECT_EQ(std::get<AXElement>(*entryParent.value), std::get<AXElement>(*viewParent.value));
    EXPECT_NE(std::get<AXElement>(*entryParent.value), entry);
}

TEST_F(AtspiAccessibilityTest, OwnerApplicationAndWindowAreTheApplicationsOwn) {
    const auto entry = focusedElementAfterFocusing(GtkTestWidget::entry);
    ASSERT_TRUE(entry);
    auto owner = accessibility->ownerPID(entry);
    ASSERT_EQ(owner.error, axerror::success);
    EXPECT_EQ(*owner.value, app->pid());

    const auto application = accessibility->applicationElement(app->pid());
    auto focusedApplication =
        accessibility->copyAttributeValue(accessibility->systemWideElement(), axattr::focusedApplication, kTimeout);
    ASSERT_EQ(focusedApplication.error, axerror::success);
    EXPECT_EQ(std::get<AXElement>(*focusedApplication.value), application);

    auto window = accessibility->copyAttributeValue(application, axattr::focusedWindow, kTimeout);
    ASSERT_EQ(window.error, axerror::success);
    const auto windowElement = std::get<AXElement>(*window.value);
    EXPECT_EQ(stringAttribute(windowElement, axattr::role), "AXWindow");
    auto windowParent = accessibility->copyAttributeValue(windowElement, axattr::parent, kTimeout);
    ASSERT_EQ(windowParent.error, axerror::success);
    EXPECT_EQ(std::get<AXElement>(*windowParent.value), application);

    // No toolkit here has the lazy-tree switch: answered as by an
    // application without it.
    EXPECT_EQ(accessibility->setAttributeValue(application, axattr::manualAccessibility, true, kTimeout),
              axerror::attributeUnsupported);
}

TEST_F(AtspiAccessibilityTest, TheSystemWideFocusFollowsFocusChangesAndFindsFocusThatWasThereBefore) {
    // The view had the focus before this backend existed: found by search.
    ASSERT_TRUE(app->focus(GtkTestWidget::view));
    AtspiAccessibility late;
    auto before = late.copyAttributeValue(late.systemWideElement(), axattr::focusedUIElement, kTimeout);
    ASSERT_EQ(before.error, axerror::success);
    EXPECT_EQ(late.copyAttributeValue(std::get<AXElement>(*before.value), axattr::role, kTimeout).value,
              AXAttributeValue(std::string("AXTextArea")));

    // Then the tracker follows: the password text's role reaches it through
    // the events alone (the probe sends nothing).
    ASSERT_TRUE(late.startFocusTracking(kTimeout));
    ASSERT_TRUE(
        focusUntilSeen(GtkTestWidget::password, GtkTestWidget::view, [&] { return late.isSecureTextFocused(); }));
    auto focused = late.copyAttributeValue(late.systemWideElement(), axattr::focusedUIElement, kTimeout);
    ASSERT_EQ(focused.error, axerror::success);
    EXPECT_EQ(late.copyAttributeValue(std::get<AXElement>(*focused.value), axattr::subrole, kTimeout).value,
              AXAttributeValue(std::string("AXSecureTextField")));
    ASSERT_TRUE(app->focus(GtkTestWidget::entry));
    EXPECT_TRUE(pumpUntil([&] { return !late.isSecureTextFocused(); }));
    focused = late.copyAttributeValue(late.systemWideElement(), axattr::focusedUIElement, kTimeout);
    ASSERT_EQ(focused.error, axerror::success);
    EXPECT_EQ(late.copyAttributeValue(std::get<AXElement>(*focused.value), axattr::role, kTimeout).value,
              AXAttributeValue(std::string("AXTextField")));
}

TEST_F(AtspiAccessibilityTest, FocusedPasswordTextStopsCountingWhenAnotherWindowIsActiveOrItsApplicationExits) {
    ASSERT_TRUE(accessibility->startFocusTracking(kTimeout));
    ASSERT_TRUE(focusUntilSeen(GtkTestWidget::password, GtkTestWidget::entry,
                               [&] { return accessibility->isSecureTextFocused(); }));

    // Another application's window comes to the front.
    auto other = GtkTestAppProcess::launch(MURMO_GTK_TEST_APP_PATH);
    ASSERT_TRUE(other) << other.error().message;
    EXPECT_TRUE(pumpUntil([&] { return !accessibility->isSecureTextFocused(); }));
    other->reset();

    ASSERT_TRUE(app->focus(GtkTestWidget::password));
    ASSERT_TRUE(pumpUntil([&] { return accessibility->isSecureTextFocused(); }));
    app->kill();
    EXPECT_TRUE(pumpUntil([&] { return !accessibility->isSecureTextFocused(); }));
}

TEST_F(AtspiAccessibilityTest, AHungApplicationCostsNoMoreThanTheTimeOutAskedFor) {
    // The application started moments ago, well inside its first 15 s.
    const auto entry = focusedElementAfterFocusing(GtkTestWidget::entry);
    ASSERT_TRUE(entry);
    ASSERT_TRUE(app->hang(3000ms));
    const auto application = accessibility->applicationElement(app->pid());
    // Each call asks for 0.2 s; the bound leaves generous slack for a loaded
    // machine and still fails the 3 s the application would take.
    const auto expectGivesUpInTime = [](const char* what, const std::function<AXError()>& call) {
        SCOPED_TRACE(what);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(call(), axerror::cannotComplete);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    };
    expectGivesUpInTime("role", [&] { return accessibility->copyAttributeValue(entry, axattr::role, 0.2f).error; });
    expectGivesUpInTime("value", [&] { return accessibility->copyAttributeValue(entry, axattr::value, 0.2f).error; });
    expectGivesUpInTime("focus", [&] {
        return accessibility->copyAttributeValue(application, axattr::focusedUIElement, 0.2f).error;
    });
    expectGivesUpInTime("write", [&] {
        return accessibility->setAttributeValue(entry, axattr::selectedText, std::string("x"), 0.2f);
    });
}

TEST_F(AtspiAccessibilityTest, AnExitedApplicationsElementsAreInvalidAtOnce) {
    const auto entry = focusedElementAfterFocusing(GtkTestWidget::entry);
    ASSERT_TRUE(entry);
    const auto pid = app->pid();
    app->kill();
    // The bus notices the closed connection a moment later.
    EXPECT_TRUE(pumpUntil([&] {
        return accessibility->copyAttributeValue(entry, axattr::role, kTimeout).error == axerror::invalidUIElement;
    }));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(accessibility->copyAttributeValue(entry, axattr::value, 5.0f).error, axerror::invalidUIElement);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(accessibility->copyAttributeValue(accessibility->applicationElement(pid), axattr::focusedUIElement,
                                                kTimeout)
                  .error,
              axerror::invalidUIElement);
}

TEST(AtspiAccessibilityWithoutAccessibilityTest, AnApplicationThatHidesFromTheBusHasNoFocusedElement) {
    auto launched = GtkTestAppProcess::launch(MURMO_GTK_TEST_APP_PATH, {.accessible = false});
    ASSERT_TRUE(launched) << launched.error().message;
    auto& app = **launched;
    // Long enough for it to have joined the bus if it were going to (it
    // takes ~0.1 s).
    std::this_thread::sleep_for(1s);
    AtspiAccessibility accessibility;
    EXPECT_TRUE(accessibility.isProcessTrusted());
    auto focused = accessibility.copyAttributeValue(accessibility.applicationElement(app.pid()),
                                                    axattr::focusedUIElement, 2.0f);
    EXPECT_EQ(focused.error, axerror::noValue);
    auto systemWide =
        accessibility.copyAttributeValue(accessibility.systemWideElement(), axattr::focusedUIElement, 2.0f);
    EXPECT_EQ(systemWide.error, axerror::noValue);
    // As an application without the attribute answers.
    EXPECT_EQ(accessibility.setAttributeValue(accessibility.applicationElement(app.pid()), axattr::manualAccessibility,
                                              true, 2.0f),
              axerror::attributeUnsupported);
}

TEST(AtspiAccessibilityWithoutBusTest, AnUnreachableAccessibilityBusIsNotTrustedAndDisablesTheInterface) {
    // The bus address comes from the environment first; restored on every
    // way out.
    struct BusAddressOverride {
        std::optional<std::string> saved;
        BusAddressOverride() {
            if (const char* value = std::getenv("AT_SPI_BUS_ADDRESS")) saved = value;
            ::setenv("AT_SPI_BUS_ADDRESS", "unix:path=/nonexistent/murmo-accessibility-bus", 1);
        }
        ~BusAddressOverride() {
            if (saved) {
                ::setenv("AT_SPI_BUS_ADDRESS", saved->c_str(), 1);
            } else {
                ::unsetenv("AT_SPI_BUS_ADDRESS");
            }
        }
    } unreachable;
    AtspiAccessibility accessibility;
    EXPECT_FALSE(accessibility.isProcessTrusted());
    EXPECT_FALSE(accessibility.isProcessTrustedWithPrompt());
    EXPECT_FALSE(accessibility.startFocusTracking(1.0f));
    EXPECT_EQ(accessibility.copyAttributeValue(accessibility.systemWideElement(), axattr::focusedUIElement, 1.0f).error,
              axerror::apiDisabled);
    EXPECT_EQ(accessibility
                  .copyAttributeValue(accessibility.applicationElement(static_cast<std::int32_t>(::getpid())),
                                      axattr::focusedUIElement, 1.0f)
                  .error,
              axerror::apiDisabled);
}

}  // namespace
}  // namespace murmo
