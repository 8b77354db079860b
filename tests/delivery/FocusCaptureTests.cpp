#include <gtest/gtest.h>

#include "FocusDesktopFixture.h"
#include "delivery/AXManualAccessibilityRetryPolicy.h"

namespace murmo::testing {
namespace {

class FocusCaptureTest : public FocusDesktopTest {
protected:
    // The checks on their own, over the same desktop as the injector's.
    std::shared_ptr<FocusCapture> checks = std::make_shared<FocusCapture>(FocusCapturePorts{
        .loop = loop,
        .accessibility = ports.accessibility,
        .workspace = ports.workspace,
        .processInfo = ports.processInfo,
        .inputActivity = ports.inputActivity,
        .log = Logger("focus", logs),
    });
    FocusCapture& capture() { return *checks; }

    // A process started by `parent`, with no application of its own.
    void launchHelper(std::int32_t pid, std::int32_t parent) {
        desktop.launch(SimProcessSetup{.pid = pid, .parentPID = parent, .application = std::nullopt});
    }

    // Makes `owner` serve the host's focused element.
    SimElementID focusElementOwnedBy(const SimHost& host, std::int32_t owner) {
        auto remote = desktop.addElement(host.window, SimElementSetup{.role = "AXTextArea",
                                                                      .value = "",
                                                                      .selectedRange = AXTextRange{0, 0},
                                                                      .selectedTextSettable = true,
                                                                      .ownerPID = owner});
        desktop.setFocusedElement(host.pid, remote);
        return remote;
    }

    Task<CaptureResult> activation(const FocusHostPin& pin, CancelToken cancel = CancelToken()) {
        return injector->finishCapture(pin, std::move(cancel));
    }
};

// ---- Owners of the focused element ----------------------------------------------

TEST_F(FocusCaptureTest, ElementOfAProcessTheHostStartedIsAccepted) {
    auto host = launchEditor();
    launchHelper(5000, host.pid);
    launchHelper(5001, 5000);  // a grandchild
    auto remote = focusElementOwnedBy(host, 5001);

    auto reservation = injector->reserve("target-1");
    ASSERT_EQ(reservation.kind(), FocusReservation::Kind::ready);
    EXPECT_EQ(reservation.snapshot()->pid, host.pid);
    EXPECT_EQ(reservation.snapshot()->elementPID, 5001);
    EXPECT_EQ(reservation.snapshot()->element, desktop.axElement(remote));
}

TEST_F(FocusCaptureTest, ElementOfAnApplicationInsideTheHostBundleIsAccepted) {
    auto host = launchEditor(kHostPID, "/Links/Notes.app");
    desktop.model().symbolicLinks["/Links/Notes.app"] = "/Applications/Notes.app";
    desktop.launch(SimProcessSetup{
        .pid = 5100,
        .application = SimApplicationInfo{.bundleURL = "/Applications/Notes.app/Contents/Helpers/Web.app"}});
    auto remote = focusElementOwnedBy(host, 5100);

    auto resolution = capture().validatedResolution(desktop.axElement(remote), host.pid, "application");
    ASSERT_TRUE(resolution);
    EXPECT_EQ(resolution->ownerPID, 5100);
}

TEST_F(FocusCaptureTest, ElementOfAnUnrelatedProcessIsRejectedAndLogged) {
    auto host = launchEditor();
    desktop.launch(SimProcessSetup{
        .pid = 6000, .parentPID = 1, .application = SimApplicationInfo{.bundleURL = "/Applications/Other.app"}});
    auto foreign = focusElementOwnedBy(host, 6000);

    EXPECT_FALSE(capture().validatedResolution(desktop.axElement(foreign), host.pid, "application"));
    EXPECT_TRUE(logs->contains("Rejected unrelated AX owner source=application host_pid=4242 owner_pid=6000"));
    // Nothing else offers a focus that belongs to the host, so nothing is taken.
    auto attempt = capture().focusedElementAttempt(host.pid, std::nullopt, false);
    EXPECT_FALSE(attempt.resolution);
}

TEST_F(FocusCaptureTest, DescendantsAreFoundWithinSixteenStepsWithoutLoopingForever) {
    auto host = launchEditor();
    // 7001 is the host's child, 7002 its grandchild, ... 7017 seventeen levels down.
    for (std::int32_t pid = 7001; pid <= 7017; ++pid) launchHelper(pid, pid == 7001 ? host.pid : pid - 1);
    launchHelper(8001, 8002);
    launchHelper(8002, 8001);
    launchHelper(8101, 8102);
    launchHelper(8102, host.pid);
    desktop.process(8102).recordReadable = false;

    struct Row {
        std::int32_t child, ancestor;
        bool expected;
        const char* what;
    };
    const Row rows[] = {
        {7001, host.pid, true, "child"},
        {7016, host.pid, true, "sixteen levels"},
        {7017, host.pid, false, "seventeen levels"},
        {7010, 7003, true, "inside the chain"},
        {7003, 7010, false, "the other way round"},
        {8001, host.pid, false, "a parent cycle"},
        {8101, host.pid, false, "an unreadable record on the way"},
        {host.pid, host.pid, false, "the process itself"},
        {1, host.pid, false, "launchd"},
        {7001, 1, false, "ancestor below 2"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(capture().isDescendantProcess(row.child, row.ancestor), row.expected) << row.what;
    }
}

// ---- Process and window identity -------------------------------------------

TEST_F(FocusCaptureTest, SamePidWithANewBirthIsADifferentProcess) {
    auto host = launchEditor();
    auto pin = pinHost(host);
    EXPECT_TRUE(capture().processBirthStillMatches(host.pid, pin.processBirth));

    // The editor quits and another program starts under the same pid, with a
    // text field focused and its window in front.
    desktop.terminate(host.pid);
    desktop.launch(SimProcessSetup{.pid = host.pid, .startSeconds = 1'700'000'900});
    auto window = desktop.addWindow(host.pid);
    auto field = desktop.addElement(window, SimElementSetup{.role = "AXTextField", .selectedRange = AXTextRange{0, 0}});
    desktop.setFocusedWindow(host.pid, window);
    desktop.setFocusedElement(host.pid, field);
    desktop.setFrontmost(host.pid);

    EXPECT_FALSE(capture().processBirthStillMatches(host.pid, pin.processBirth));
    // Without a recorded birth only a running application is required.
    EXPECT_TRUE(capture().processBirthStillMatches(host.pid, std::nullopt));
    pin.focusedWindow.reset();
    EXPECT_EQ(runCapture(activation(pin)), std::unexpected(CaptureFailure::targetChanged));
}

TEST_F(FocusCaptureTest, FocusedWindowValidation) {
    auto host = launchEditor();
    auto window = desktop.axElement(host.window);
    EXPECT_EQ(capture().focusedWindowValidation(host.pid, std::nullopt, std::nullopt), FocusWindowValidation::match);
    EXPECT_EQ(capture().focusedWindowValidation(host.pid, window, std::nullopt), FocusWindowValidation::match);

    auto other = desktop.addWindow(host.pid);
    desktop.setFocusedWindow(host.pid, other);
    EXPECT_EQ(capture().focusedWindowValidation(host.pid, window, std::nullopt), FocusWindowValidation::changed);
    desktop.setFocusedWindow(host.pid, host.window);

    const std::pair<AXError, FocusWindowValidation> errors[] = {
        {axerror::noValue, FocusWindowValidation::temporarilyUnavailable},
        {axerror::attributeUnsupported, FocusWindowValidation::temporarilyUnavailable},
        {axerror::cannotComplete, FocusWindowValidation::temporarilyUnavailable},
        {axerror::failure, FocusWindowValidation::temporarilyUnavailable},
        {axerror::invalidUIElement, FocusWindowValidation::changed},
        {axerror::apiDisabled, FocusWindowValidation::changed},
    };
    for (const auto& [error, expected] : errors) {
        desktop.addFault(SimAXFault{.attribute = "AXFocusedWindow", .error = error});
        EXPECT_EQ(capture().focusedWindowValidation(host.pid, window, std::nullopt), expected) << error;
    }
    // Too little time left to ask at all.
    EXPECT_EQ(capture().focusedWindowValidation(host.pid, window, loop.now() + 500us),
              FocusWindowValidation::temporarilyUnavailable);
}

TEST_F(FocusCaptureTest, WebBackedElementsAreFoundThroughTheirAncestors) {
    auto host = launchEditor();
    auto webArea = desktop.addElement(host.window, SimElementSetup{.role = "AXWebArea"});
    auto group = desktop.addElement(webArea, SimElementSetup{.role = "AXGroup"});
    auto input = desktop.addElement(group, SimElementSetup{.role = "AXTextField"});
    EXPECT_TRUE(capture().isWebBacked(desktop.axElement(input)));
    EXPECT_TRUE(capture().isWebBacked(desktop.axElement(webArea)));
    EXPECT_FALSE(capture().isWebBacked(desktop.axElement(host.field)));

    // A tree whose parents form a loop ends the walk.
    auto a = desktop.addElement(host.window, SimElementSetup{.role = "AXGroup"});
    auto b = desktop.addElement(a, SimElementSetup{.role = "AXGroup"});
    desktop.element(a).parent = b;
    EXPECT_FALSE(capture().isWebBacked(desktop.axElement(b)));
}

TEST_F(FocusCaptureTest, ChecksWithoutTimeToReadAreUnknownNeverNo) {
    auto host = launchEditor();
    auto secureField = desktop.addElement(host.window, SimElementSetup{.role = "AXSecureTextField"});
    const auto almostOver = loop.now() + 500us;
    desktop.clearAXCalls();
    EXPECT_EQ(capture().secureState(desktop.axElement(secureField), almostOver), std::nullopt);
    EXPECT_EQ(capture().pasteCapability(desktop.axElement(host.field), almostOver), std::nullopt);
    EXPECT_TRUE(desktop.axCalls().empty());
    // With time to read, the answers are definite.
    EXPECT_EQ(capture().secureState(desktop.axElement(secureField), loop.now() + 50ms), true);
    EXPECT_EQ(capture().pasteCapability(desktop.axElement(host.field), loop.now() + 50ms), true);
}

// ---- The capture worker, activation phase -------------------------------------

TEST_F(FocusCaptureTest, EmptyTableFindsNothingWithoutAnAttempt) {
    auto host = launchEditor();
    auto run = startCapture(injector->finishCapture(pinHost(host), {}, FocusCapturePhase::activation, std::nullopt));
    loop.runUntilIdle();
    ASSERT_TRUE(run->result);
    EXPECT_EQ(*run->result, std::unexpected(CaptureFailure::noFocusedElement));
    EXPECT_TRUE(desktop.axCalls().empty());
}

TEST_F(FocusCaptureTest, TreeThatIsNotReadyForTwoReadsIsCapturedOnTheThird) {
    auto host = launchEditor();
    // Two attempts fail, each asking the host through all three sources.
    desktop.addFault(
        SimAXFault{.pid = host.pid, .attribute = "AXFocusedUIElement", .error = axerror::noValue, .remaining = 6});
    const auto start = loop.now();
    auto pin = pinHost(host);
    auto run = startCapture(activation(pin));
    loop.advance(1s);
    ASSERT_TRUE(run->result && run->result->has_value());
    const auto& snapshot = **run->result;
    // Attempts after 25, 75 and 175 ms, plus the one at key press.
    EXPECT_EQ(run->finishedAt - start, 175ms);
    EXPECT_EQ(snapshot.captureAttempts, 4);
    EXPECT_EQ(snapshot.captureElapsed, 175ms);
    EXPECT_EQ(snapshot.element, desktop.axElement(host.field));
    EXPECT_EQ(snapshot.elementPID, host.pid);
    EXPECT_EQ(snapshot.selectedRange, (AXTextRange{5, 0}));
    EXPECT_EQ(snapshot.applicationName, "Notes");
    EXPECT_EQ(snapshot.bundleIdentifier, "local.test.notes");
    EXPECT_EQ(snapshot.focusedWindow, pin.focusedWindow);
    EXPECT_EQ(snapshot.processBirth, pin.processBirth);
    EXPECT_EQ(snapshot.elementMessagingTimeout, kAXDefaultMessagingTimeoutSeconds);
    EXPECT_TRUE(logs->contains("AX focus resolved phase=activation host_pid=4242 attempts=4"));
    // The worker only reads; it never asks for the full tree.
    EXPECT_TRUE(callsTo("AXManualAccessibility", SimAXOperation::setAttribute).empty());
}

TEST_F(FocusCaptureTest, UserInputDuringCaptureChangesTheTargetAtTheNextStep) {
    for (auto input : {InputEventType::keyDown, InputEventType::leftMouseDown, InputEventType::rightMouseDown,
                       InputEventType::otherMouseDown}) {
        SCOPED_TRACE(static_cast<int>(input));
        auto host = launchEditor();
        desktop.clearAXCalls();
        desktop.addFault(
            SimAXFault{.pid = host.pid, .attribute = "AXFocusedUIElement", .error = axerror::noValue, .remaining = -1});
        const auto start = loop.now();
        auto run = startCapture(activation(pinHost(host)));
        loop.advance(30ms);  // one attempt made at 25 ms
        desktop.deliverInputEvent(SimInputEvent{.type = input});
        loop.advance(1s);
        ASSERT_TRUE(run->result);
        EXPECT_EQ(*run->result, std::unexpected(CaptureFailure::targetChanged));
        EXPECT_EQ(run->finishedAt - start, 75ms);
        EXPECT_EQ(callsTo("AXFocusedUIElement", SimAXOperation::copyAttribute).size(), 3u)
            << "no attempt after the input";
        desktop.model().faults.clear();
    }
}

TEST_F(FocusCaptureTest, ApplicationsOwnSyntheticKeysDoNotChangeTheTarget) {
    auto host = launchEditor();
    desktop.addFault(
        SimAXFault{.pid = host.pid, .attribute = "AXFocusedUIElement", .error = axerror::noValue, .remaining = 1});
    auto run = startCapture(activation(pinHost(host)));
    loop.advance(30ms);
    desktop.deliverInputEvent(
        SimInputEvent{.type = InputEventType::keyDown, .sourceUserData = kSyntheticEventUserDataMarker});
    loop.advance(1s);
    ASSERT_TRUE(run->result);
    EXPECT_TRUE(run->result->has_value());
}

TEST_F(FocusCaptureTest, SwitchingApplicationsOrLosingTrustChangesTheTarget) {
    auto host = launchEditor();
    desktop.launch(SimProcessSetup{.pid = 77});
    desktop.setFrontmost(77);
    EXPECT_EQ(runCapture(activation(pinHost(host))), std::unexpected(CaptureFailure::targetChanged));

    desktop.setFrontmost(host.pid);
    desktop.model().accessibilityTrusted = false;
    EXPECT_EQ(runCapture(activation(pinHost(host))), std::unexpected(CaptureFailure::targetChanged));
}

TEST_F(FocusCaptureTest, CancellationEndsTheWorkerPromptlyAsTargetChanged) {
    auto host = launchEditor();
    CancelToken cancel;
    const auto start = loop.now();
    auto run = startCapture(activation(pinHost(host), cancel));
    loop.advance(10ms);
    cancel.cancel();
    loop.runUntilIdle();
    ASSERT_TRUE(run->result);
    EXPECT_EQ(*run->result, std::unexpected(CaptureFailure::targetChanged));
    EXPECT_EQ(run->finishedAt - start, 10ms);
}

TEST_F(FocusCaptureTest, SecureAndNonEditableElementsEndTheWorker) {
    struct Row {
        SimElementSetup element;
        CaptureFailure expected;
    };
    const Row rows[] = {
        {SimElementSetup{.role = "AXSecureTextField", .selectedRange = AXTextRange{0, 0}}, CaptureFailure::secureField},
        {SimElementSetup{.role = "AXTextField", .subrole = "AXSecureTextField", .selectedRange = AXTextRange{0, 0}},
         CaptureFailure::secureField},
        {SimElementSetup{.role = "AXButton"}, CaptureFailure::notEditable},
    };
    for (const auto& row : rows) {
        auto host = launchEditor();
        auto element = desktop.addElement(host.window, row.element);
        desktop.setFocusedElement(host.pid, element);
        EXPECT_EQ(runCapture(activation(pinHost(host))), std::unexpected(row.expected)) << *row.element.role;
    }
    EXPECT_TRUE(logs->contains("Rejected non-editable AX target host_pid=4242 owner_pid=4242 role=AXButton"));
}

TEST_F(FocusCaptureTest, ExhaustedRunTellsAPartialTreeFromNoFocus) {
    struct Row {
        const char* what;
        std::optional<SimElementSetup> focused;  // absent: the host reports an error
        AXError error;
        bool manualRequested;
        AXError manualError;
        CaptureFailure expected;
    };
    const Row rows[] = {
        {"a web area still building", SimElementSetup{.role = "AXWebArea"}, axerror::success, false, axerror::failure,
         CaptureFailure::accessibilityTreeNotReady},
        {"a lazy tree after a granted request", std::nullopt, axerror::noValue, true, axerror::success,
         CaptureFailure::accessibilityTreeNotReady},
        {"a lazy tree, request refused", std::nullopt, axerror::attributeUnsupported, true, axerror::failure,
         CaptureFailure::noFocusedElement},
        {"a lazy tree, never requested", std::nullopt, axerror::noValue, false, axerror::failure,
         CaptureFailure::noFocusedElement},
        {"a host that does not answer", std::nullopt, axerror::cannotComplete, true, axerror::success,
         CaptureFailure::noFocusedElement},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto host = launchEditor();
        if (row.focused) {
            desktop.setFocusedElement(host.pid, desktop.addElement(host.window, *row.focused));
        } else {
            desktop.addFault(SimAXFault{.attribute = "AXFocusedUIElement", .error = row.error, .remaining = -1});
        }
        const auto start = loop.now();
        auto run = startCapture(activation(pinHost(host, row.manualRequested, row.manualError)));
        loop.advance(2s);
        ASSERT_TRUE(run->result);
        EXPECT_EQ(*run->result, std::unexpected(row.expected));
        EXPECT_EQ(run->finishedAt - start, 775ms);
        desktop.model().faults.clear();
    }
    EXPECT_TRUE(logs->contains("AX focus unresolved phase=activation host_pid=4242 attempts=6"));
}

// ---- The capture worker, finalization phase ------------------------------------

TEST_F(FocusCaptureTest, FinalizationNeverSucceedsLateOnASlowHost) {
    struct Row {
        Duration messageCost;
        bool succeeds;
    };
    const Row rows[] = {{5ms, true}, {20ms, false}, {24ms, false}, {30ms, false}, {2s, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.messageCost.count());
        auto host = launchEditor();
        desktop.setMessageCost(host.pid, row.messageCost);
        auto pin = pinHost(host);
        desktop.clearAXCalls();
        const auto start = loop.now();
        auto run = startCapture(injector->finishCaptureForFinalization(pin));
        loop.advance(3s);
        ASSERT_TRUE(run->result);
        EXPECT_LE(run->finishedAt - start, 75ms) << "no result after the deadline";
        if (row.succeeds) {
            ASSERT_TRUE(run->result->has_value());
            // The captured element keeps a short time-out for the delivery's reads.
            EXPECT_EQ((*run->result)->elementMessagingTimeout, 0.2f);
        } else {
            ASSERT_FALSE(run->result->has_value());
            EXPECT_TRUE(run->result->error() == CaptureFailure::accessibilityTreeNotReady ||
                        run->result->error() == CaptureFailure::noFocusedElement)
                << reasonCode(run->result->error());
        }
        ASSERT_FALSE(desktop.axCalls().empty());
        for (const auto& call : desktop.axCalls()) {
            if (!call.timeout) continue;
            EXPECT_LE(*call.timeout, AXManualAccessibilityRetryPolicy::finalizationMaximumAXMessagingTimeoutSeconds)
                << call.attribute;
            EXPECT_LT(call.startedAt - start, 75ms) << call.attribute;
        }
        // Only the application itself is asked under a deadline.
        for (const auto& call : desktop.axCalls()) EXPECT_NE(call.element, kSimSystemWideElementID);
    }
}

TEST_F(FocusCaptureTest, FinalizationThatRunsOutOfTimeWithoutAnElementIsNotATargetChange) {
    const std::pair<bool, CaptureFailure> rows[] = {
        {false, CaptureFailure::noFocusedElement},
        {true, CaptureFailure::accessibilityTreeNotReady},
    };
    for (const auto& [manualRequested, expected] : rows) {
        auto host = launchEditor();
        desktop.addFault(SimAXFault{.attribute = "AXFocusedUIElement", .error = axerror::noValue, .remaining = -1});
        auto pin = pinHost(host, manualRequested, axerror::success);
        const auto start = loop.now();
        auto run = startCapture(injector->finishCaptureForFinalization(pin));
        loop.advance(1s);
        ASSERT_TRUE(run->result);
        // Attempts at 0 and 25 ms; the last pause is clipped to the deadline
        // and the run ends there, exhausted.
        EXPECT_EQ(*run->result, std::unexpected(expected));
        EXPECT_EQ(run->finishedAt - start, 75ms);
        EXPECT_TRUE(logs->contains("AX focus unresolved phase=finalization host_pid=4242 attempts=3"));
        desktop.model().faults.clear();
    }
}

}  // namespace
}  // namespace murmo::testing
