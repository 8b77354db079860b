// Dictated text into a real GTK application through the Linux desktop's
// ports: the captured field gets it and the user's clipboard comes back byte
// for byte; a password field, a window the user left and a hung application
// get nothing; an application without accessibility and a paste-only widget
// get the current-focus paste, whose text stays on the clipboard since no
// read-back can confirm it; the live writer streams into the entry.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "DesktopDeliveryFixture.h"
#include "delivery/CaptureFailure.h"
#include "delivery/LiveDictationWriter.h"
#include "runtime/glib/GLibLoop.h"
#include "support/XTestClientProcess.h"
#include "support/x11/XServerPointer.h"

namespace murmo::testing {
namespace {

using namespace std::chrono_literals;

constexpr char kDictated[] = "Grüße 👋 çok iyi";

TEST_F(DesktopDeliveryTest, TheCapturedFieldGetsTheSentenceAndTheUsersClipboardComesBackByteForByte) {
    for (auto widget : {GtkTestWidget::entry, GtkTestWidget::view}) {
        SCOPED_TRACE(static_cast<int>(widget));
        const UsersClipboard clipboard;
        auto owner = userCopies(clipboard);
        ASSERT_TRUE(owner);
        auto app = launchApplication(widget, "Notes: ");
        ASSERT_TRUE(app);

        auto reservation = reserve();
        ASSERT_EQ(reservation.kind(), FocusReservation::Kind::ready);
        auto result = deliver(kDictated, *reservation.snapshot());
        ASSERT_TRUE(result);
        ASSERT_TRUE(result->isInserted()) << result->failure()->reasonCode;
        EXPECT_TRUE(result->insertion()->verified);
        EXPECT_EQ(app->read(widget).value_or("?"), std::string("Notes: ") + kDictated);

        // The user's clipboard outlives the program that held it: the
        // snapshot is served from memory.
        EXPECT_TRUE(owner->quit());
        expectClipboardRestored(clipboard);
    }
}

TEST_F(DesktopDeliveryTest, APasswordFieldIsNeitherCapturedNorPastedInto) {
    auto app = launchApplication(GtkTestWidget::password);
    ASSERT_TRUE(app);
    EXPECT_TRUE(pumpUntil([&] { return ports->inputActivity.isSecureEventInputEnabled(); }));

    auto reservation = reserve();
    ASSERT_EQ(reservation.failure(), CaptureFailure::secureField);
    EXPECT_FALSE(permitsCurrentFocusFallback(CaptureFailure::secureField));
    EXPECT_EQ(app->read(GtkTestWidget::password).value_or("?"), "");
}

TEST_F(DesktopDeliveryTest, AClickIntoAnotherWindowBetweenCaptureAndDeliveryPastesNothing) {
    const UsersClipboard clipboard;
    auto owner = userCopies(clipboard);
    ASSERT_TRUE(owner);
    auto app = launchApplication(GtkTestWidget::entry, "Notes: ");
    ASSERT_TRUE(app);
    auto reservation = reserve();
    ASSERT_EQ(reservation.kind(), FocusReservation::Kind::ready);

    auto other = XTestClientProcess::launch(MURMO_X_TEST_CLIENT_PATH);
    ASSERT_TRUE(other) << other.error().message;
    auto pointer = XServerPointer::open();
    ASSERT_TRUE(pointer) << pointer.error().message;
    (*pointer)->click(1);
    ASSERT_TRUE(pumpUntil([&] {
        auto front = ports->workspace.frontmostApplication();
        return front && front->processIdentifier == (*other)->pid();
    }));

    auto result = deliver(kDictated, *reservation.snapshot());
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->isInserted());
    EXPECT_EQ(app->read(GtkTestWidget::entry).value_or("?"), "Notes: ");
    EXPECT_EQ((*other)->typedText(), "");
    expectClipboardRestored(clipboard);
}

TEST_F(DesktopDeliveryTest, WithoutAnAccessibleTargetTheCurrentFocusGetsThePasteAndTheTextStaysOnTheClipboard) {
    struct Case {
        const char* name;
        GtkTestWidget widget;
        bool accessible;
    };
    const std::vector<Case> cases{
        {"an application without accessibility", GtkTestWidget::entry, false},
        {"a widget that only takes pastes", GtkTestWidget::paste, true},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        const UsersClipboard clipboard;
        auto owner = userCopies(clipboard);
        ASSERT_TRUE(owner);
        auto app = launchApplication(item.widget, {}, item.accessible);
        ASSERT_TRUE(app);

        auto reservation = reserve();
        ASSERT_NE(reservation.kind(), FocusReservation::Kind::ready);
        if (auto failure = reservation.failure()) {
            EXPECT_TRUE(permitsCurrentFocusFallback(*failure)) << reasonCode(*failure);
        }
        const auto& pin = injector->lastReservationHostPin();
        ASSERT_TRUE(pin);
        EXPECT_EQ(pin->pid, app->pid());

        auto result = deliverToCurrentFocus(kDictated, *pin);
        ASSERT_TRUE(result);
        ASSERT_TRUE(result->isInserted()) << result->failure()->reasonCode;
        EXPECT_EQ(result->insertion()->method, TextDeliveryMethod::clipboardPaste);
        EXPECT_FALSE(result->insertion()->verified);
        EXPECT_TRUE(pumpUntil([&] { return app->read(item.widget).value_or("") == kDictated; }))
            << app->read(item.widget).value_or("?");
        // Nothing can read the text back, so it stays for the user to paste
        // by hand: without the paster's marker, and nothing of the user's
        // clipboard is served beside it.
        expectClipboardHoldsOnly(kDictated);
    }
}

TEST_F(DesktopDeliveryTest, AHungApplicationCostsTheFinalCaptureItsDeadlineAndNeverASuccess) {
    auto app = launchApplication(GtkTestWidget::entry);
    ASSERT_TRUE(app);
    auto reservation = reserve();
    ASSERT_EQ(reservation.kind(), FocusReservation::Kind::ready);
    const auto& pin = injector->lastReservationHostPin();
    ASSERT_TRUE(pin);
    ASSERT_TRUE(app->hang(5s));

    std::optional<CaptureResult> captured;
    const auto started = std::chrono::steady_clock::now();
    spawn([](std::shared_ptr<FocusTextInjector> injector, FocusHostPin pin,
             std::optional<CaptureResult>& captured) -> Task<void> {
        captured = co_await injector->finishCaptureForFinalization(std::move(pin));
    }(injector, *pin, captured));
    ASSERT_TRUE(pumpUntil([&] { return captured.has_value(); }));
    const auto spent = std::chrono::steady_clock::now() - started;

    ASSERT_FALSE(captured->has_value()) << "a capture succeeded against a hung application";
    EXPECT_TRUE(permitsFinalFocusRetry(captured->error())) << reasonCode(captured->error());
    // The final capture's deadline is 75 ms, each message capped at 25 ms;
    // the slack is for a loaded machine, far below the hang.
    EXPECT_LT(spent, 2s);
}

TEST_F(DesktopDeliveryTest, TheLiveWriterStreamsTheGrowingTranscriptIntoTheEntry) {
    auto app = launchApplication(GtkTestWidget::entry, "Notes: ");
    ASSERT_TRUE(app);
    auto writer = LiveDictationWriter::capture(LiveDictationWriterPorts{.loop = loop,
                                                                        .accessibility = ports->accessibility,
                                                                        .workspace = ports->workspace,
                                                                        .inputActivity = ports->inputActivity,
                                                                        .eventPoster = ports->eventPoster,
                                                                        .userInputWatch = ports->userInputWatch});
    ASSERT_TRUE(writer);
    EXPECT_TRUE(writer->hasElement());
    for (const std::string partial : {"Grüße", "Grüße 👋", kDictated}) {
        EXPECT_TRUE(writer->append(partial)) << partial;
        EXPECT_EQ(app->read(GtkTestWidget::entry).value_or("?"), "Notes: " + partial);
    }
    writer->stop();
}

}  // namespace
}  // namespace murmo::testing
