#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "FocusDesktopFixture.h"
#include "delivery/ClipboardFailureDetails.h"

namespace murmo::testing {
namespace {

// An expected failure for the tables, which compare everything but the elapsed time.
DeliveryFailed failed(std::string outcome, std::string code, std::string message) {
    return DeliveryFailed{std::move(outcome), std::move(code), std::move(message), 0ms};
}

class FocusDeliveryTest : public FocusDesktopTest {
protected:
    SimHost host;
    std::vector<DeliveryResult> results;
    std::vector<MonotonicTime> dispatches;

    void SetUp() override { resetDesktop(); }

    // A fresh editor in front, the user's clipboard, nothing scripted.
    void resetDesktop() {
        host = launchEditor();
        desktop.userCopies(sampleUserClipboard());
        auto& model = desktop.model();
        model.faults.clear();
        model.pasteboard.faults.clear();
        model.pasteboard.afterCall = nullptr;
        model.pasteboard.calls.clear();
        desktop.clearAXCalls();
        model.eventPosting = SimEventPostingState{};
        model.accessibilityTrusted = true;
        model.secureEventInput = false;
        results.clear();
        dispatches.clear();
        logs->clear();
    }

    FocusTargetSnapshot captureField() {
        auto reservation = injector->reserve("target-1");
        EXPECT_EQ(reservation.kind(), FocusReservation::Kind::ready);
        return reservation.snapshot() ? *reservation.snapshot() : FocusTargetSnapshot{};
    }

    void deliver(const FocusTargetSnapshot& target, const std::string& text = " world") {
        injector->deliver(
            text, target, [this](MonotonicTime at) { dispatches.push_back(at); },
            [this](DeliveryResult result) { results.push_back(std::move(result)); });
    }

    void deliverToCurrentFocus(const FocusHostPin& pin, const std::string& text = " world") {
        injector->deliver(
            text, pin, "no_focused_element", [this](MonotonicTime at) { dispatches.push_back(at); },
            [this](DeliveryResult result) { results.push_back(std::move(result)); });
    }

    SimElementID addTextArea(SimElementID parent) {
        return desktop.addElement(parent, SimElementSetup{.role = "AXTextArea",
                                                          .value = "",
                                                          .selectedRange = AXTextRange{0, 0},
                                                          .valueSettable = true,
                                                          .selectedTextSettable = true});
    }

    std::string valueOf(SimElementID element) { return desktop.element(element).value.value_or(""); }

    std::size_t selectedTextWrites() const {
        std::size_t writes = 0;
        for (const auto& call : desktop.axCalls()) {
            if (call.operation == SimAXOperation::setAttribute && call.attribute == axattr::selectedText) ++writes;
        }
        return writes;
    }

    // The one result, which must be an insertion.
    std::optional<DeliveryInserted> onlyInsertion() {
        EXPECT_EQ(results.size(), 1u);
        if (results.size() != 1 || !results.front().insertion()) return std::nullopt;
        return *results.front().insertion();
    }
    std::optional<DeliveryFailed> onlyFailure() {
        EXPECT_EQ(results.size(), 1u);
        if (results.size() != 1 || !results.front().failure()) return std::nullopt;
        return *results.front().failure();
    }
};

TEST_F(FocusDeliveryTest, TheCapturedFieldGetsThePasteAndTheUsersClipboardComesBack) {
    auto target = captureField();
    loop.advance(100ms);
    deliver(target);
    loop.advance(2s);

    auto inserted = onlyInsertion();
    ASSERT_TRUE(inserted);
    EXPECT_EQ(inserted->method, TextDeliveryMethod::clipboardPaste);
    EXPECT_TRUE(inserted->verified);
    // Seen at the first observation tick, 25 ms after the command.
    EXPECT_GE(inserted->elapsed, 24ms);
    EXPECT_LE(inserted->elapsed, 26ms);
    EXPECT_EQ(dispatches.size(), 1u);
    EXPECT_EQ(valueOf(host.field), "hello world");
    EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());
    EXPECT_EQ(selectedTextWrites(), 0u);
    EXPECT_FALSE(injector->isDeliveryActive());
}

TEST_F(FocusDeliveryTest, IdentityLostAfterCaptureRoutesToTheCurrentFocusWithItsReason) {
    struct Case {
        std::string name;
        std::function<void()> change;
        std::string trigger;
        bool verified;
    };
    SimElementID other = 0;
    auto focusAnotherField = [&] {
        other = addTextArea(host.window);
        desktop.setFocusedElement(host.pid, other);
    };
    // Runs `action` once, right after the paster first reads the clipboard.
    auto whileTheClipboardIsPrepared = [&](std::function<void()> action) {
        auto done = std::make_shared<bool>(false);
        desktop.model().pasteboard.afterCall = [done, action](const SimPasteboardCall& call) {
            if (*done || call.operation != SimPasteboardOperation::readItems) return;
            *done = true;
            action();
        };
    };
    const std::vector<Case> cases{
        {"focus moved to another field", focusAnotherField, "strict_ax_target_changed", true},
        {"caret moved by the application",
         [&] {
             desktop.element(host.field).selectedRange = AXTextRange{0, 0};
         },
         "strict_ax_target_changed", true},
        {"no focused element any more", [&] { desktop.setFocusedElement(host.pid, std::nullopt); },
         "strict_ax_tree_unavailable", false},
        {"focus moved while the clipboard was prepared", [&] { whileTheClipboardIsPrepared(focusAnotherField); },
         "strict_clipboard_target_changed", true},
        {"window unreadable while the clipboard was prepared",
         [&] {
             whileTheClipboardIsPrepared([&] {
                 desktop.addFault(SimAXFault{.attribute = std::string(axattr::focusedWindow), .remaining = 5});
             });
         },
         "strict_clipboard_tree_unavailable", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetDesktop();
        other = 0;
        auto target = captureField();
        c.change();
        deliver(target);
        loop.advance(3s);

        EXPECT_TRUE(logs->contains("Dispatched current-focus Cmd-V host_pid=4242 app=local.test.notes trigger=" +
                                   c.trigger + " ax_identity_required=false"));
        auto inserted = onlyInsertion();
        ASSERT_TRUE(inserted);
        EXPECT_EQ(inserted->method, TextDeliveryMethod::clipboardPaste);
        EXPECT_EQ(inserted->verified, c.verified);
        if (other != 0) {
            EXPECT_EQ(valueOf(other), " world");
        }
    }
}

TEST_F(FocusDeliveryTest, AUserClickOrKeyBetweenCaptureAndDeliveryPastesNothing) {
    struct Case {
        std::string name;
        std::function<void()> input;
    };
    const std::vector<Case> cases{
        {"click into another field",
         [&] {
             desktop.setFocusedElement(host.pid, addTextArea(host.window));
             desktop.userClicks();
         }},
        {"click inside the captured field", [&] { desktop.userClicks(); }},
        {"right click", [&] { desktop.userClicks(InputEventType::rightMouseDown); }},
        {"key press", [&] { desktop.userPressesKey(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetDesktop();
        auto target = captureField();
        const auto changeCount = desktop.model().pasteboard.changeCount;
        c.input();
        deliver(target);
        loop.advance(3s);

        // The captured element's identity is lost, and the current focus of
        // the host is not the one pinned either: the user's input moved.
        auto failure = onlyFailure();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->outcome, "target_changed");
        EXPECT_EQ(failure->reasonCode, "pinned_focus_changed");
        EXPECT_EQ(failure->message, "The original application, input epoch, or focused window changed.");
        EXPECT_TRUE(dispatches.empty());
        EXPECT_TRUE(desktop.postedEvents().empty());
        EXPECT_EQ(selectedTextWrites(), 0u);
        EXPECT_EQ(valueOf(host.field), "hello");
        // The clipboard was never even written.
        EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());
        EXPECT_EQ(desktop.model().pasteboard.changeCount, changeCount);
        EXPECT_FALSE(logs->contains("Dispatched current-focus Cmd-V"));
    }
}

TEST_F(FocusDeliveryTest, TheCurrentFocusIsOnlyPastedIntoWhileTheHostIsUnchanged) {
    struct Case {
        std::string name;
        std::function<void()> change;
        // Absent: the paste goes out.
        std::optional<DeliveryFailed> failure;
    };
    const auto changed = failed("target_changed", "pinned_focus_changed",
                                "The original application, input epoch, or focused window changed.");
    const std::vector<Case> cases{
        {"secure input on", [&] { desktop.model().secureEventInput = true; },
         failed("secure_field", "secure_input_enabled", "Secure keyboard input is active.")},
        {"a button has the focus",
         [&] {
             auto button = desktop.addElement(host.window, SimElementSetup{.role = "AXButton"});
             desktop.setFocusedElement(host.pid, button);
         },
         changed},
        {"a password field has the focus", [&] { desktop.element(host.field).subrole = "AXSecureTextField"; }, changed},
        {"the user clicked since the pin", [&] { desktop.userClicks(); }, changed},
        {"another application came to the front",
         [&] {
             desktop.launch(SimProcessSetup{.pid = 777});
             desktop.setFrontmost(777);
         },
         changed},
        {"accessibility trust withdrawn", [&] { desktop.model().accessibilityTrusted = false; },
         failed("permission_denied", "accessibility_permission_missing", "Accessibility permission is missing.")},
        {"the window stays unreadable",
         [&] { desktop.addFault(SimAXFault{.attribute = std::string(axattr::focusedWindow), .remaining = -1}); },
         failed("no_editable_target", "pinned_window_temporarily_unavailable",
                "The original focused window could not be revalidated before the deadline.")},
        {"no focused element at all", [&] { desktop.setFocusedElement(host.pid, std::nullopt); }, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetDesktop();
        const auto pin = pinHost(host);
        c.change();
        deliverToCurrentFocus(pin);
        loop.advance(3s);

        if (c.failure) {
            auto failure = onlyFailure();
            ASSERT_TRUE(failure);
            EXPECT_EQ(failure->outcome, c.failure->outcome);
            EXPECT_EQ(failure->reasonCode, c.failure->reasonCode);
            EXPECT_EQ(failure->message, c.failure->message);
            EXPECT_TRUE(desktop.postedEvents().empty());
            EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());
        } else {
            // Nothing can confirm the text, so it stays on the clipboard
            // for the user to paste by hand.
            auto inserted = onlyInsertion();
            ASSERT_TRUE(inserted);
            EXPECT_FALSE(inserted->verified);
            EXPECT_EQ(desktop.postedEvents().size(), 2u);
            EXPECT_EQ(desktop.pasteboardItems(), std::vector{PasteboardItem::plainText(" world")});
        }
    }
}

TEST_F(FocusDeliveryTest, AClipboardThatCannotBeSavedIsRetriedWithinThePassesOtherFailuresAreReportedAtOnce) {
    struct Case {
        std::string name;
        std::function<void()> script;
        std::optional<std::string> failureCode;
        // Three per snapshot that found the clipboard unreadable.
        std::size_t unreadableReads;
    };
    const std::vector<Case> cases{
        {"unreadable for one pass",
         [&] {
             desktop.addPasteboardFault(
                 SimPasteboardFault{.operation = SimPasteboardOperation::readItems, .remaining = 3});
         },
         std::nullopt, 3},
        {"unreadable for good",
         [&] {
             desktop.addPasteboardFault(
                 SimPasteboardFault{.operation = SimPasteboardOperation::readItems, .remaining = -1});
         },
         "clipboard_snapshot_unavailable", 9},
        {"no permission to post events", [&] { desktop.model().eventPosting.postAccess = false; },
         "event_post_access_denied", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetDesktop();
        const auto pin = pinHost(host);
        c.script();
        deliverToCurrentFocus(pin);
        loop.advance(3s);

        std::size_t reads = 0;
        for (const auto& call : desktop.model().pasteboard.calls) {
            if (call.operation == SimPasteboardOperation::readItems && !call.succeeded) ++reads;
        }
        EXPECT_EQ(reads, c.unreadableReads);
        if (c.failureCode) {
            auto failure = onlyFailure();
            ASSERT_TRUE(failure);
            EXPECT_EQ(failure->reasonCode, *c.failureCode);
            EXPECT_TRUE(desktop.postedEvents().empty());
        } else {
            auto inserted = onlyInsertion();
            ASSERT_TRUE(inserted);
            EXPECT_TRUE(inserted->verified);
        }
        EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());
    }
}

TEST_F(FocusDeliveryTest, WithoutTheClipboardOnlyAPlainFieldIsWrittenThroughAccessibilityAndNothingIsPastedAfter) {
    struct Case {
        std::string name;
        bool webBacked;
        bool hugeValue;
        // Why the clipboard cannot be prepared. Only the first attempt
        // fails: a paste after the accessibility write would go out.
        ClipboardPreparationFailure cause;
    };
    using enum ClipboardPreparationFailure;
    const std::vector<Case> cases{
        {"plain field, no event posting", false, false, eventAccessDenied},
        {"plain field, clipboard write fails", false, false, writeFailed},
        {"plain field, paste command rejected", false, false, postCommandRejected},
        // Too long to compare: only the caret can confirm, and this field
        // puts it back at the start.
        {"field too long to compare", false, true, eventAccessDenied},
        {"field inside a web area, no event posting", true, false, eventAccessDenied},
        {"field inside a web area, clipboard write fails", true, false, writeFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetDesktop();
        if (c.webBacked) {
            auto web = desktop.addElement(host.window, SimElementSetup{.role = "AXWebArea"});
            auto field = addTextArea(web);
            desktop.element(field).value = "hello";
            desktop.element(field).selectedRange = AXTextRange{5, 0};
            desktop.setFocusedElement(host.pid, field);
            host.field = field;
        }
        if (c.hugeValue) {
            desktop.element(host.field).value = std::string(1'000'001, 'x');
            desktop.element(host.field).selectedRange = AXTextRange{1'000'001, 0};
            desktop.element(host.field).insertionLeavesCaretAtStart = true;
        }
        switch (c.cause) {
            case eventAccessDenied: desktop.model().eventPosting.postAccess = false; break;
            case writeFailed:
                desktop.addPasteboardFault(SimPasteboardFault{.operation = SimPasteboardOperation::write});
                break;
            case postCommandRejected:
                desktop.addEventFault(SimEventFault{.operation = SimEventOperation::makeSource});
                break;
            default: FAIL() << "no script for this cause";
        }
        auto target = captureField();
        deliver(target);
        loop.advance(3s);

        const auto details = ClipboardFailureDetails::from(c.cause);
        EXPECT_TRUE(desktop.postedEvents().empty());
        EXPECT_TRUE(dispatches.empty());
        EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());
        EXPECT_TRUE(logs->contains("Clipboard preparation failed reason=" + details.code));
        if (c.webBacked) {
            auto failure = onlyFailure();
            ASSERT_TRUE(failure);
            EXPECT_EQ(failure->outcome, details.outcome);
            EXPECT_EQ(failure->reasonCode, details.code);
            EXPECT_EQ(failure->message, details.message);
            EXPECT_EQ(selectedTextWrites(), 0u);
            EXPECT_EQ(valueOf(host.field), "hello");
        } else {
            auto inserted = onlyInsertion();
            ASSERT_TRUE(inserted);
            EXPECT_EQ(inserted->method, TextDeliveryMethod::accessibility);
            EXPECT_EQ(inserted->verified, !c.hugeValue);
            EXPECT_EQ(selectedTextWrites(), 1u);
            EXPECT_TRUE(valueOf(host.field).ends_with(" world"));
        }
    }
}

TEST_F(FocusDeliveryTest, TheAccessibilityWriteIsRefusedWhenTheTargetMovedOrTheWriteFails) {
    struct Case {
        std::string name;
        // Happens as the clipboard is found unusable, just before the
        // accessibility write's own checks.
        std::function<void()> change;
        std::optional<DeliveryFailed> failure;
    };
    const std::vector<Case> cases{
        {"focus moved to another field", [&] { desktop.setFocusedElement(host.pid, addTextArea(host.window)); },
         failed("target_changed", "focused_element_changed", "The original text field is no longer focused.")},
        {"no focused element any more", [&] { desktop.setFocusedElement(host.pid, std::nullopt); },
         failed("no_editable_target", "accessibility_tree_not_ready",
                "The application's accessibility tree was not ready.")},
        {"the field turned secure", [&] { desktop.element(host.field).subrole = "AXSecureTextField"; },
         failed("secure_field", "secure_field", "Secure fields are never modified.")},
        {"the write is rejected",
         [&] {
             desktop.addFault(SimAXFault{.attribute = std::string(axattr::selectedText),
                                         .operation = SimAXOperation::setAttribute,
                                         .error = axerror::failure});
         },
         failed("verification_failed", "accessibility_write_unconfirmed",
                "The target did not confirm the Accessibility write.")},
        // Not written at all: the clipboard's failure is the report.
        {"the field takes no accessibility write", [&] { desktop.element(host.field).selectedTextSettable = false; },
         failed("permission_denied", "event_post_access_denied",
                "macOS has not allowed this Dorvex app to send keyboard events.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetDesktop();
        // No event posting; the check is where the change happens.
        auto guardedPaster = ClipboardPaster::create(ClipboardPasterPorts{.loop = loop,
                                                                          .pasteboard = desktop.pasteboard(),
                                                                          .eventPoster = desktop.eventPoster(),
                                                                          .workspace = desktop.workspace(),
                                                                          .ids = ids},
                                                     ClipboardPasterOptions{.eventAccessCheck = [&] {
                                                         c.change();
                                                         return false;
                                                     }});
        auto own = FocusTextInjector::create(injectorPorts(), guardedPaster);
        auto reservation = own->reserve("target-1");
        ASSERT_TRUE(reservation.snapshot());
        own->deliver(
            " world", *reservation.snapshot(), [this](MonotonicTime at) { dispatches.push_back(at); },
            [this](DeliveryResult result) { results.push_back(std::move(result)); });
        loop.advance(3s);

        auto failure = onlyFailure();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->outcome, c.failure->outcome);
        EXPECT_EQ(failure->reasonCode, c.failure->reasonCode);
        EXPECT_EQ(failure->message, c.failure->message);
        EXPECT_EQ(valueOf(host.field), "hello");
        EXPECT_TRUE(desktop.postedEvents().empty());
        EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());
    }
}

TEST_F(FocusDeliveryTest, AValidatedTargetThatTurnedSecureOrHasAnInvalidRangeIsRefused) {
    struct Case {
        std::string name;
        std::function<void()> before;
        std::function<void()> afterCapture;
        std::string code;
    };
    const std::vector<Case> cases{
        {"secure", [] {}, [&] { desktop.element(host.field).subrole = "AXSecureTextField"; }, "secure_field"},
        {"negative range",
         [&] {
             desktop.element(host.field).selectedRange = AXTextRange{-1, 0};
         },
         [] {}, "selected_range_invalid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetDesktop();
        c.before();
        auto target = captureField();
        c.afterCapture();
        deliver(target);
        loop.advance(3s);
        auto failure = onlyFailure();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->reasonCode, c.code);
        EXPECT_TRUE(desktop.postedEvents().empty());
    }
}

TEST_F(FocusDeliveryTest, AnEmptyTextIsRefusedAndTheUsersSelectionStays) {
    for (const bool captured : {true, false}) {
        SCOPED_TRACE(captured ? "captured target" : "current focus");
        resetDesktop();
        // An empty write over a selection would erase it.
        desktop.element(host.field).selectedRange = AXTextRange{0, 5};
        if (captured) {
            deliver(captureField(), "");
        } else {
            deliverToCurrentFocus(pinHost(host), "");
        }
        loop.advance(3s);

        auto failure = onlyFailure();
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->outcome, "unsupported");
        EXPECT_EQ(failure->reasonCode, "empty_text");
        EXPECT_EQ(failure->message, "Dorvex could not safely prepare the clipboard or paste command.");
        EXPECT_EQ(valueOf(host.field), "hello");
        EXPECT_EQ(desktop.element(host.field).selectedRange, (AXTextRange{0, 5}));
        EXPECT_EQ(selectedTextWrites(), 0u);
        EXPECT_TRUE(desktop.postedEvents().empty());
        EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());
        EXPECT_FALSE(injector->isDeliveryActive());
    }
}

TEST_F(FocusDeliveryTest, ShutdownMidPasteCallsNoCompletionAndGivesTheClipboardBack) {
    desktop.setPasteResponse(host.pid, SimPasteResponse{.insertion = SimPasteInsertion::never});
    auto target = captureField();
    deliver(target);
    loop.advance(50ms);
    ASSERT_EQ(dispatches.size(), 1u);
    ASSERT_NE(desktop.pasteboardItems(), sampleUserClipboard());

    injector->shutdown();
    EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());
    EXPECT_FALSE(paster->hasPendingPaste());
    loop.advance(3s);
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(desktop.pasteboardItems(), sampleUserClipboard());

    // The injector takes deliveries again afterwards.
    desktop.setPasteResponse(host.pid, SimPasteResponse{});
    deliver(captureField());
    loop.advance(3s);
    auto inserted = onlyInsertion();
    ASSERT_TRUE(inserted);
    EXPECT_TRUE(inserted->verified);
}

// Deliveries hold the injector weakly; one that is not in a shared_ptr would
// never complete any.
static_assert(!std::is_constructible_v<FocusTextInjector, FocusTextInjectorPorts>);
static_assert(!std::is_constructible_v<FocusTextInjector, FocusTextInjectorPorts, std::shared_ptr<ClipboardPaster>>);

TEST_F(FocusDeliveryTest, WithoutAnExplicitPasterTheInjectorPastesThroughADefaultOne) {
    for (const bool nullPaster : {false, true}) {
        SCOPED_TRACE(nullPaster ? "null paster" : "no paster");
        resetDesktop();
        auto own = nullPaster ? FocusTextInjector::create(injectorPorts(), nullptr)
                              : FocusTextInjector::create(injectorPorts());
        desktop.setPasteResponse(host.pid, SimPasteResponse{.insertion = SimPasteInsertion::never});
        auto reservation = own->reserve("target-1");
        ASSERT_TRUE(reservation.snapshot());
        own->deliver(
            " world", *reservation.snapshot(), [this](MonotonicTime at) { dispatches.push_back(at); },
            [this](DeliveryResult result) { results.push_back(std::move(result)); });
        loop.advance(1199ms);
        EXPECT_EQ(dispatches.size(), 1u);
        EXPECT_TRUE(results.empty());
        // The paste runs on the injector's own engine, which holds the
        // user's clipboard for 1.2 s; the fixture's engine never saw it.
        EXPECT_FALSE(paster->hasPendingPaste());
        loop.advance(1ms);
        auto inserted = onlyInsertion();
        ASSERT_TRUE(inserted);
        EXPECT_FALSE(inserted->verified);
        EXPECT_EQ(desktop.pasteboardItems(), std::vector{PasteboardItem::plainText(" world")});
        own->shutdown();
    }
}

TEST(ClipboardFailureDetailsTest, EachPreparationFailureHasItsReport) {
    const std::string unsafe = "Dorvex could not safely prepare the clipboard or paste command.";
    EXPECT_EQ(ClipboardFailureDetails::from(std::nullopt),
              (ClipboardFailureDetails{"unsupported", "clipboard_paste_unavailable", unsafe}));
    for (auto failure : {ClipboardPreparationFailure::emptyText, ClipboardPreparationFailure::snapshotUnavailable,
                         ClipboardPreparationFailure::writeFailed, ClipboardPreparationFailure::postCommandRejected}) {
        EXPECT_EQ(ClipboardFailureDetails::from(failure),
                  (ClipboardFailureDetails{"unsupported", std::string(rawValue(failure)), unsafe}));
    }
    EXPECT_EQ(ClipboardFailureDetails::from(ClipboardPreparationFailure::eventAccessDenied),
              (ClipboardFailureDetails{"permission_denied", "event_post_access_denied",
                                       "macOS has not allowed this Dorvex app to send keyboard events."}));
}

}  // namespace
}  // namespace murmo::testing
