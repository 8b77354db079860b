#include <gtest/gtest.h>

#include "FocusDesktopFixture.h"
#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "delivery/CaptureFailure.h"
#include "delivery/DeliveryResult.h"
#include "delivery/FocusReleaseBoundary.h"
#include "delivery/FocusTargetSnapshot.h"

namespace murmo::testing {
namespace {

struct FailureRow {
    CaptureFailure failure;
    std::string_view reasonCode;
    std::string_view description;
    std::string_view outcome;
    bool currentFocusFallback;
    bool finalFocusRetry;
};

TEST(CaptureFailureTest, ReasonCodeTable) {
    const FailureRow rows[] = {
        {CaptureFailure::permission, "accessibility_permission_missing", "Accessibility permission is missing.",
         "permission_denied", false, false},
        {CaptureFailure::noApplication, "no_frontmost_application", "No frontmost application was found.",
         "application_closed", false, false},
        {CaptureFailure::noFocusedElement, "no_focused_element", "No focused text field was found.",
         "no_editable_target", true, true},
        {CaptureFailure::accessibilityTreeNotReady, "accessibility_tree_not_ready",
         "The application's accessibility tree was not ready.", "no_editable_target", true, true},
        {CaptureFailure::targetChanged, "frontmost_application_changed",
         "Focus moved to another application while preparing the target.", "target_changed", true, false},
        {CaptureFailure::secureField, "secure_field", "Dorvex will not write into secure fields.", "secure_field",
         false, false},
        {CaptureFailure::notEditable, "selected_text_not_settable", "The focused element is not editable.",
         "no_editable_target", false, false},
        {CaptureFailure::selectionUnavailable, "selected_range_unavailable",
         "The selected text range cannot be verified.", "no_editable_target", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reasonCode);
        EXPECT_EQ(reasonCode(row.failure), row.reasonCode);
        EXPECT_EQ(errorDescription(row.failure), row.description);
        EXPECT_EQ(deliveryOutcome(row.failure), row.outcome);
        EXPECT_EQ(permitsCurrentFocusFallback(row.failure), row.currentFocusFallback);
        EXPECT_EQ(permitsFinalFocusRetry(row.failure), row.finalFocusRetry);
    }
}

TEST(TextDeliveryMethodTest, RawValuesRoundTripAndNothingElseParses) {
    const std::pair<TextDeliveryMethod, std::string_view> rows[] = {
        {TextDeliveryMethod::keyboard, "unicode_event"},
        {TextDeliveryMethod::internalEditor, "internal_editor"},
        {TextDeliveryMethod::accessibility, "accessibility"},
        {TextDeliveryMethod::clipboardPaste, "clipboard_paste"},
    };
    for (const auto& [method, raw] : rows) {
        EXPECT_EQ(rawValue(method), raw);
        EXPECT_EQ(textDeliveryMethodFromRawValue(raw), method);
    }
    for (std::string_view other : {"", "keyboard", "Accessibility", "clipboard_paste ", "clipboardPaste"}) {
        EXPECT_FALSE(textDeliveryMethodFromRawValue(other).has_value()) << other;
    }
}

TEST(DeliveryResultTest, UnverifiedInsertionIsStillASuccess) {
    EXPECT_EQ(DeliveryResult::inserted(TextDeliveryMethod::clipboardPaste, false, 12ms).userFacingStatus(),
              DeliveryUserFacingStatus::success);
    const auto failed = DeliveryResult::failed("target_changed", "pinned_focus_changed", "message", 3500us);
    EXPECT_EQ(failed.userFacingStatus(), DeliveryUserFacingStatus::failure);
    EXPECT_EQ(failed.elapsed(), 3500us);
}

TEST(AXInsertionObservationTest, ClassifiesTheObservedRange) {
    const AXTextRange original{5, 0};
    const AXTextRange expected{8, 0};
    EXPECT_EQ(classifyInsertion(original, expected, std::nullopt), AXInsertionObservation::ambiguous);
    EXPECT_EQ(classifyInsertion(original, expected, AXTextRange{8, 0}), AXInsertionObservation::verified);
    EXPECT_EQ(classifyInsertion(original, expected, AXTextRange{5, 0}), AXInsertionObservation::unchanged);
    EXPECT_EQ(classifyInsertion(original, expected, AXTextRange{8, 2}), AXInsertionObservation::ambiguous);
}

TEST(RetryPolicyTest, TablesAndTotals) {
    using Policy = AXManualAccessibilityRetryPolicy;
    EXPECT_EQ(Policy::maximumDelay(), 50ms);
    EXPECT_EQ(Policy::maximumActivationDelay(), 775ms);
    EXPECT_EQ(Policy::maximumFinalizationDelay(), 75ms);
    EXPECT_EQ(Policy::maximumDeliveryRevalidationDelay(), 375ms);
    // The finalization schedule fits its wall-clock budget exactly.
    EXPECT_EQ(Policy::maximumFinalizationDelay(), Policy::finalizationWallClockBudget);
    EXPECT_EQ(Policy::delays().front(), 0ms);
    EXPECT_EQ(Policy::finalizationRetryDelays().front(), 0ms);
    EXPECT_EQ(Policy::deliveryRevalidationDelays().front(), 0ms);
    EXPECT_EQ(Policy::activationRetryDelays().front(), 25ms);
    EXPECT_EQ(Policy::attributeName, "AXManualAccessibility");
}

TEST(RetryPolicyTest, ManualAccessibilityOnlyAfterTheFirstLazyTreeFailure) {
    struct Row {
        int attempt;
        bool alreadyRequested;
        AXError error;
        bool expected;
    };
    const Row rows[] = {
        {0, false, axerror::noValue, true},  {0, false, axerror::attributeUnsupported, true},
        {1, false, axerror::noValue, false}, {0, true, axerror::attributeUnsupported, false},
        {0, false, axerror::success, false}, {0, false, axerror::cannotComplete, false},
        {0, false, axerror::failure, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AXManualAccessibilityRetryPolicy::shouldRequestManualAccessibility(row.attempt, row.alreadyRequested,
                                                                                     row.error),
                  row.expected)
            << row.attempt << " " << row.alreadyRequested << " " << row.error;
    }
}

class FocusRecordsDesktopTest : public FocusDesktopTest {};

TEST_F(FocusRecordsDesktopTest, ProcessBirthNeedsARealProcessAndAFullRecord) {
    auto host = launchEditor();
    auto birth = FocusProcessBirthIdentity::read(desktop.processInfo(), host.pid);
    ASSERT_TRUE(birth);
    EXPECT_EQ(*birth, (FocusProcessBirthIdentity{1'700'000'000, 250'000}));

    desktop.launch(SimProcessSetup{.pid = 1});
    EXPECT_FALSE(FocusProcessBirthIdentity::read(desktop.processInfo(), 0));
    EXPECT_FALSE(FocusProcessBirthIdentity::read(desktop.processInfo(), 1));
    desktop.process(host.pid).recordReadable = false;
    EXPECT_FALSE(FocusProcessBirthIdentity::read(desktop.processInfo(), host.pid));
}

TEST_F(FocusRecordsDesktopTest, ReleaseBoundaryBreaksOnInputOrSwitchAndNeverMatchesWithoutAFrontmostApp) {
    auto host = launchEditor();
    auto boundary = FocusReleaseBoundary::take(desktop.workspace(), desktop.inputActivity());
    EXPECT_TRUE(boundary.stillMatches(desktop.workspace(), desktop.inputActivity()));
    desktop.userClicks(InputEventType::rightMouseDown);
    EXPECT_FALSE(boundary.stillMatches(desktop.workspace(), desktop.inputActivity()));

    boundary = FocusReleaseBoundary::take(desktop.workspace(), desktop.inputActivity());
    desktop.launch(SimProcessSetup{.pid = 77});
    desktop.setFrontmost(77);
    EXPECT_FALSE(boundary.stillMatches(desktop.workspace(), desktop.inputActivity()));
    desktop.setFrontmost(host.pid);
    EXPECT_TRUE(boundary.stillMatches(desktop.workspace(), desktop.inputActivity()));

    desktop.setFrontmost(std::nullopt);
    boundary = FocusReleaseBoundary::take(desktop.workspace(), desktop.inputActivity());
    EXPECT_FALSE(boundary.frontmostPID);
    EXPECT_FALSE(boundary.stillMatches(desktop.workspace(), desktop.inputActivity()));
}

TEST_F(FocusRecordsDesktopTest, InputEpochCountsTheUsersInputButNeverTheApplicationsOwnEvents) {
    launchEditor();
    const auto before = FocusInputEpoch::read(desktop.inputActivity());
    for (auto type : {InputEventType::keyDown, InputEventType::leftMouseDown}) {
        desktop.deliverInputEvent(SimInputEvent{.type = type, .sourceUserData = kSyntheticEventUserDataMarker});
    }
    EXPECT_EQ(FocusInputEpoch::read(desktop.inputActivity()), before);

    const std::pair<InputEventType, std::uint32_t FocusInputEpoch::*> userEvents[] = {
        {InputEventType::keyDown, &FocusInputEpoch::keyDown},
        {InputEventType::leftMouseDown, &FocusInputEpoch::leftMouseDown},
        {InputEventType::rightMouseDown, &FocusInputEpoch::rightMouseDown},
        {InputEventType::otherMouseDown, &FocusInputEpoch::otherMouseDown},
    };
    for (const auto& [type, field] : userEvents) {
        const auto previous = FocusInputEpoch::read(desktop.inputActivity());
        // Any other user-data value is the user's (or another program's) input.
        desktop.deliverInputEvent(SimInputEvent{.type = type, .sourceUserData = 1});
        const auto now = FocusInputEpoch::read(desktop.inputActivity());
        EXPECT_NE(now, previous);
        EXPECT_EQ(now.*field, previous.*field + 1);
    }
}

}  // namespace
}  // namespace murmo::testing
