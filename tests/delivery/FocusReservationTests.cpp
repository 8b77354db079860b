#include <gtest/gtest.h>

#include "FocusDesktopFixture.h"

namespace murmo::testing {
namespace {

class FocusReservationTest : public FocusDesktopTest {
protected:
    std::size_t manualAccessibilityRequests() const {
        return callsTo("AXManualAccessibility", SimAXOperation::setAttribute).size();
    }
};

TEST_F(FocusReservationTest, WithoutTrustOrFrontmostApplicationNothingIsKept) {
    launchEditor();
    desktop.model().accessibilityTrusted = false;
    EXPECT_EQ(injector->reserve("t").failure(), CaptureFailure::permission);
    EXPECT_FALSE(injector->lastReservationHostMetadata());
    EXPECT_FALSE(injector->lastReservationHostPin());

    desktop.model().accessibilityTrusted = true;
    desktop.setFrontmost(std::nullopt);
    EXPECT_EQ(injector->reserve("t").failure(), CaptureFailure::noApplication);
    EXPECT_FALSE(injector->lastReservationHostMetadata());
    EXPECT_FALSE(injector->lastReservationHostPin());
    EXPECT_TRUE(desktop.axCalls().empty());
}

TEST_F(FocusReservationTest, FocusedTextFieldIsReadyAtOnce) {
    auto host = launchEditor();
    desktop.userPressesKey();
    const auto pressedAt = loop.now();
    auto reservation = injector->reserve("target-7");
    ASSERT_EQ(reservation.kind(), FocusReservation::Kind::ready);
    const auto& snapshot = *reservation.snapshot();
    EXPECT_EQ(snapshot.targetID, "target-7");
    EXPECT_EQ(snapshot.pid, host.pid);
    EXPECT_EQ(snapshot.applicationName, "Notes");
    EXPECT_EQ(snapshot.captureAttempts, 1);
    EXPECT_FALSE(snapshot.manualAccessibilityRequested);
    EXPECT_EQ(snapshot.element, desktop.axElement(host.field));
    EXPECT_EQ(snapshot.elementPID, host.pid);
    EXPECT_EQ(snapshot.selectedRange, (AXTextRange{5, 0}));
    EXPECT_EQ(snapshot.focusedWindow, desktop.axElement(host.window));
    EXPECT_EQ(snapshot.inputEpoch.keyDown, 1u);
    EXPECT_EQ(snapshot.processBirth, (FocusProcessBirthIdentity{1'700'000'000, 250'000}));

    EXPECT_EQ(injector->lastReservationHostMetadata(), (FocusHostMetadata{"local.test.notes", "Notes"}));
    ASSERT_TRUE(injector->lastReservationHostPin());
    EXPECT_EQ(injector->lastReservationHostPin()->pinnedAt, pressedAt);
    EXPECT_EQ(injector->lastReservationHostPin()->manualAccessibilityError, axerror::failure);
    // The application element's messages are bounded by a short time-out.
    for (auto attribute : {"AXFocusedWindow", "AXFocusedUIElement"}) {
        auto calls = callsTo(attribute, SimAXOperation::copyAttribute);
        ASSERT_FALSE(calls.empty()) << attribute;
        EXPECT_EQ(calls.front().timeout, 0.2f) << attribute;
    }
}

TEST_F(FocusReservationTest, ApplicationWithoutNameOrBundleIdentifier) {
    desktop.launch(SimProcessSetup{.pid = 300});
    desktop.setFrontmost(300);
    auto reservation = injector->reserve("t");
    EXPECT_EQ(reservation.kind(), FocusReservation::Kind::warming);
    ASSERT_TRUE(injector->lastReservationHostMetadata());
    EXPECT_EQ(injector->lastReservationHostMetadata()->applicationName, "Application");
    EXPECT_FALSE(injector->lastReservationHostMetadata()->bundleIdentifier.has_value());
    EXPECT_FALSE(reservation.pin()->focusedWindow.has_value());
}

TEST_F(FocusReservationTest, LazyTreeIsAskedForItsFullTreeExactlyOnce) {
    auto host = launchEditor();
    desktop.process(host.pid).hidesFocusUntilManualAccessibility = true;

    auto reservation = injector->reserve("t");
    ASSERT_EQ(reservation.kind(), FocusReservation::Kind::warming);
    EXPECT_TRUE(reservation.pin()->manualAccessibilityRequested);
    EXPECT_EQ(reservation.pin()->manualAccessibilityError, axerror::success);
    EXPECT_EQ(injector->lastReservationHostPin(), *reservation.pin());
    EXPECT_EQ(manualAccessibilityRequests(), 1u);
    EXPECT_TRUE(logs->contains("Requested AXManualAccessibility host_pid=4242 error=0"));

    // The tree is there now; the worker finds it without asking again.
    auto result = runCapture(injector->finishCapture(*reservation.pin()));
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->manualAccessibilityRequested);
    EXPECT_EQ(result->captureAttempts, 2);
    EXPECT_EQ(manualAccessibilityRequests(), 1u);
}

TEST_F(FocusReservationTest, OnlyTheLazyTreeErrorsTriggerTheRequest) {
    struct Row {
        AXError focusError;
        bool requested;
    };
    const Row rows[] = {
        {axerror::noValue, true},  {axerror::attributeUnsupported, true}, {axerror::cannotComplete, false},
        {axerror::failure, false}, {axerror::apiDisabled, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.focusError);
        auto host = launchEditor();
        desktop.process(host.pid).manualAccessibilityResult = axerror::cannotComplete;
        desktop.clearAXCalls();
        desktop.model().faults = {
            SimAXFault{.attribute = "AXFocusedUIElement", .error = row.focusError, .remaining = -1}};
        auto reservation = injector->reserve("t");
        ASSERT_EQ(reservation.kind(), FocusReservation::Kind::warming);
        EXPECT_EQ(reservation.pin()->manualAccessibilityRequested, row.requested);
        EXPECT_EQ(reservation.pin()->manualAccessibilityError,
                  row.requested ? axerror::cannotComplete : axerror::failure);
        EXPECT_EQ(manualAccessibilityRequests(), row.requested ? 1u : 0u);
    }
}

TEST_F(FocusReservationTest, PartialTreeWaitsInsteadOfFailing) {
    for (auto role : {"AXWebArea", "AXGroup"}) {
        auto host = launchEditor();
        desktop.clearAXCalls();
        desktop.setFocusedElement(host.pid, desktop.addElement(host.window, SimElementSetup{.role = role}));
        auto reservation = injector->reserve("t");
        ASSERT_EQ(reservation.kind(), FocusReservation::Kind::warming) << role;
        EXPECT_TRUE(reservation.pin()->manualAccessibilityRequested);
        EXPECT_EQ(manualAccessibilityRequests(), 1u);
        EXPECT_TRUE(
            logs->contains(std::string("Waiting for partial AX target host_pid=4242 owner_pid=4242 role=") + role));
    }
}

TEST_F(FocusReservationTest, SecureOrNonEditableFocusFailsAndDropsThePin) {
    const std::pair<SimElementSetup, CaptureFailure> rows[] = {
        {SimElementSetup{.role = "AXTextField", .subrole = "AXSecureTextField", .selectedRange = AXTextRange{0, 0}},
         CaptureFailure::secureField},
        {SimElementSetup{.role = "AXButton"}, CaptureFailure::notEditable},
    };
    for (const auto& [element, expected] : rows) {
        auto host = launchEditor();
        desktop.setFocusedElement(host.pid, desktop.addElement(host.window, element));
        EXPECT_EQ(injector->reserve("t").failure(), expected);
        EXPECT_FALSE(injector->lastReservationHostPin());
        EXPECT_TRUE(injector->lastReservationHostMetadata());
    }
}

}  // namespace
}  // namespace murmo::testing
