#include "delivery/FocusDelivery.h"

#include <algorithm>
#include <chrono>

#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "delivery/FocusPolicies.h"
#include "delivery/FocusTextInjector.h"
#include "delivery/TextInsertionVerification.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

constexpr int kMaximumPasteStarts = 5;
constexpr std::string_view kUnknownApplication = "unknown";

using Deadline = FocusCapture::Deadline;

// What a paste leaves behind for its observation to compare with. Shared by
// the paster's closures for as long as the paste lasts.
struct InsertionEvidence {
    std::optional<std::string> valueBefore{};
    std::optional<std::string> expectedValue{};
    std::optional<AXTextRange> range{};
    // Once the text was seen in the field it stays seen.
    bool observed = false;
};

enum class RevalidationKind { changed, treeUnavailable, cancelled, validated };

struct DeliveryTargetRevalidation {
    RevalidationKind kind = RevalidationKind::cancelled;
    FocusedElementResolution resolution{};
};

enum class CurrentFocusState { transient, unavailable, posted, changed };

std::int64_t utf16Count(std::string_view text) {
    return static_cast<std::int64_t>(unicode::utf16Length(text).value_or(text.size()));
}

Duration elapsed(FocusTextInjector& injector, const DeliveryRun& run) {
    return injector.capture().now() - run.startedAt;
}

void completeFailed(FocusTextInjector& injector, const DeliveryRun& run, std::string outcome, std::string code,
                    std::string message) {
    run.complete(DeliveryResult::failed(std::move(outcome), std::move(code), std::move(message),
                                        elapsed(injector, run)));
}

void completeWithDetails(FocusTextInjector& injector, const DeliveryRun& run, const ClipboardFailureDetails& details) {
    completeFailed(injector, run, details.outcome, details.code, details.message);
}

void completeSecureField(FocusTextInjector& injector, const DeliveryRun& run) {
    completeFailed(injector, run, "secure_field", "secure_field", "Secure fields are never modified.");
}

void completeInvalidRange(FocusTextInjector& injector, const DeliveryRun& run) {
    completeFailed(injector, run, "target_changed", "selected_range_invalid",
                   "The target exposed an invalid insertion range.");
}

// Nothing to insert: an empty write would only erase the user's selection.
bool refusedEmptyText(const std::weak_ptr<FocusTextInjector>& weak, const std::string& text, const DeliveryRun& run) {
    if (!text.empty()) return false;
    if (auto self = weak.lock()) {
        completeWithDetails(*self, run, ClipboardFailureDetails::from(ClipboardPreparationFailure::emptyText));
    }
    return true;
}

bool rangeIsUsable(const AXTextRange& range, std::string_view text) {
    std::int64_t end = 0;
    return range.location >= 0 && range.length >= 0 && !__builtin_add_overflow(range.location, utf16Count(text), &end);
}

// Host, process, and user input unchanged since the snapshot.
bool hostStillMatches(FocusCapture& capture, std::int32_t pid, const std::optional<FocusProcessBirthIdentity>& birth,
                      const FocusInputEpoch& epoch) {
    const auto& ports = capture.ports();
    if (!ports.accessibility.isProcessTrusted()) return false;
    auto frontmost = ports.workspace.frontmostApplication();
    if (!frontmost || frontmost->processIdentifier != pid) return false;
    if (!capture.processBirthStillMatches(pid, birth)) return false;
    return FocusInputEpoch::read(ports.inputActivity) == epoch;
}

bool sameElement(const FocusedElementResolution& resolution, const FocusTargetSnapshot& target) {
    return resolution.ownerPID == target.elementPID && resolution.element == target.element;
}

std::optional<std::string> boundedValue(FocusCapture& capture, const AXElement& element, Deadline deadline,
                                        AXMessagingTimeout timeout = FocusCapture::kDefaultTimeout) {
    return TextInsertionVerification::boundedValue(capture.stringAttribute(element, axattr::value, deadline, timeout));
}

// ---- Revalidation of a captured target ------------------------------------------

// One pass; none means "try the next pass".
std::optional<DeliveryTargetRevalidation> revalidationPass(FocusTextInjector& injector,
                                                           const FocusTargetSnapshot& target,
                                                           const CancelToken& cancel) {
    auto& capture = injector.capture();
    if (cancel.isCancelled()) return DeliveryTargetRevalidation{RevalidationKind::cancelled};
    const DeliveryTargetRevalidation changed{RevalidationKind::changed};
    if (!hostStillMatches(capture, target.pid, target.processBirth, target.inputEpoch)) return changed;
    if (target.focusedWindow) {
        switch (capture.focusedWindowValidation(target.pid, target.focusedWindow, std::nullopt)) {
            case FocusWindowValidation::changed: return changed;
            case FocusWindowValidation::temporarilyUnavailable: return std::nullopt;
            case FocusWindowValidation::match: break;
        }
    }
    auto attempt = capture.focusedElementAttempt(target.pid, std::nullopt, false);
    if (!attempt.resolution) return std::nullopt;
    const auto& resolution = *attempt.resolution;
    if (sameElement(resolution, target)) {
        auto current = capture.selectedTextRange(resolution.element, std::nullopt, target.elementMessagingTimeout);
        switch (FocusSelectionRevalidationPolicy::disposition(target.selectedRange, current)) {
            case FocusSelectionDisposition::exact:
                return DeliveryTargetRevalidation{RevalidationKind::validated, resolution};
            case FocusSelectionDisposition::transient: return std::nullopt;
            case FocusSelectionDisposition::changed: return changed;
        }
    }
    auto role = capture.stringAttribute(resolution.element, axattr::role, std::nullopt);
    const bool pasteCapable = capture.pasteCapability(resolution.element, std::nullopt).value_or(false);
    if (FocusCandidatePolicy::disposition(role, pasteCapable) == FocusCandidateDisposition::retryablePartialTree) {
        return std::nullopt;
    }
    return changed;
}

Task<DeliveryTargetRevalidation> revalidate(std::weak_ptr<FocusTextInjector> weak, MainLoop& loop,
                                            FocusTargetSnapshot target, CancelToken cancel) {
    for (const auto delay : AXManualAccessibilityRetryPolicy::deliveryRevalidationDelays()) {
        if (delay > Duration::zero() && !co_await sleepFor(loop, delay, cancel)) {
            co_return DeliveryTargetRevalidation{RevalidationKind::cancelled};
        }
        auto self = weak.lock();
        if (!self) co_return DeliveryTargetRevalidation{RevalidationKind::cancelled};
        if (auto result = revalidationPass(*self, target, cancel)) co_return *result;
    }
    co_return DeliveryTargetRevalidation{RevalidationKind::treeUnavailable};
}

// Whether the captured element may take the clipboard now.
ClipboardTargetValidation clipboardTargetValidation(FocusCapture& capture, const FocusTargetSnapshot& target) {
    if (!hostStillMatches(capture, target.pid, target.processBirth, target.inputEpoch)) {
        return ClipboardTargetValidation::changed;
    }
    switch (capture.focusedWindowValidation(target.pid, target.focusedWindow, std::nullopt)) {
        case FocusWindowValidation::temporarilyUnavailable: return ClipboardTargetValidation::transient;
        case FocusWindowValidation::changed: return ClipboardTargetValidation::changed;
        case FocusWindowValidation::match: break;
    }
    auto attempt = capture.focusedElementAttempt(target.pid, std::nullopt, false);
    if (!attempt.resolution) return ClipboardTargetValidation::transient;
    const auto& element = attempt.resolution->element;
    if (sameElement(*attempt.resolution, target)) {
        const auto timeout = target.elementMessagingTimeout;
        if (capture.secureState(element, std::nullopt, timeout).value_or(true)) {
            return ClipboardTargetValidation::changed;
        }
        if (!capture.pasteCapability(element, std::nullopt, timeout).value_or(false)) {
            return ClipboardTargetValidation::transient;
        }
        auto current = capture.selectedTextRange(element, std::nullopt, timeout);
        switch (FocusSelectionRevalidationPolicy::disposition(target.selectedRange, current)) {
            case FocusSelectionDisposition::exact: return ClipboardTargetValidation::exact;
            case FocusSelectionDisposition::transient: return ClipboardTargetValidation::transient;
            case FocusSelectionDisposition::changed: return ClipboardTargetValidation::changed;
        }
    }
    auto paste = capture.pasteCapability(element, std::nullopt);
    if (!paste) return ClipboardTargetValidation::transient;
    auto role = capture.stringAttribute(element, axattr::role, std::nullopt);
    if (FocusCandidatePolicy::disposition(role, *paste) == FocusCandidateDisposition::retryablePartialTree) {
        return ClipboardTargetValidation::transient;
    }
    return ClipboardTargetValidation::changed;
}

std::function<void(ClipboardUnverifiedReport)> terminalCompletion(std::weak_ptr<FocusTextInjector> weak,
                                                                   const DeliveryRun& run) {
    return [weak, run](ClipboardUnverifiedReport report) {
        auto self = weak.lock();
        if (!self) return;
        run.complete(DeliveryResult::inserted(TextDeliveryMethod::clipboardPaste,
                                              report == ClipboardUnverifiedReport::insertedVerified,
                                              elapsed(*self, run)));
    };
}

// Starts one clipboard paste into the captured target.
ClipboardPasteStartResult startTargetPaste(FocusTextInjector& injector, const std::string& text,
                                           const FocusTargetSnapshot& target,
                                           const CommandDispatchedCallback& onCommandDispatched,
                                           const DeliveryRun& run) {
    std::weak_ptr<FocusTextInjector> weak = injector.weak_from_this();
    auto evidence = std::make_shared<InsertionEvidence>();
    auto validate = [weak, &target, &text, evidence] {
        auto self = weak.lock();
        if (!self) return ClipboardTargetValidation::changed;
        auto& capture = self->capture();
        const auto validation = clipboardTargetValidation(capture, target);
        if (validation != ClipboardTargetValidation::exact) return validation;
        evidence->valueBefore = boundedValue(capture, target.element, std::nullopt, target.elementMessagingTimeout);
        if (target.selectedRange) {
            evidence->expectedValue =
                TextInsertionVerification::expectedValue(evidence->valueBefore, *target.selectedRange, text);
        }
        return ClipboardTargetValidation::exact;
    };
    auto consumed = [weak, target, text, evidence] {
        if (evidence->observed) return true;
        auto self = weak.lock();
        if (!self) return false;
        auto& capture = self->capture();
        auto frontmost = capture.ports().workspace.frontmostApplication();
        if (!frontmost || frontmost->processIdentifier != target.pid) return false;
        auto attempt = capture.focusedElementAttempt(target.pid, std::nullopt, false);
        if (!attempt.resolution || !sameElement(*attempt.resolution, target)) return false;
        const auto timeout = target.elementMessagingTimeout;
        if (capture.secureState(target.element, std::nullopt, timeout).value_or(true)) return false;
        auto valueAfter = boundedValue(capture, target.element, std::nullopt, timeout);
        auto current = capture.selectedTextRange(target.element, std::nullopt, timeout);
        evidence->observed = TextInsertionVerification::isVerifiedInsertion(
            evidence->expectedValue, evidence->valueBefore, valueAfter, target.selectedRange, current,
            utf16Count(text), text);
        return evidence->observed;
    };
    return injector.clipboardPaster().beginPasteReporting(text, target.pid, validate, consumed, onCommandDispatched,
                                                          terminalCompletion(weak, run));
}

// ---- Accessibility fallback ---------------------------------------------------------

// Writes through "AXSelectedText" when the clipboard could not be prepared.
// False when the target does not qualify for such a write.
Task<bool> accessibilityFallback(std::weak_ptr<FocusTextInjector> weak, MainLoop& loop, std::string text,
                                 FocusTargetSnapshot target, DeliveryRun run) {
    if (run.cancel.isCancelled()) co_return true;
    auto revalidation = co_await revalidate(weak, loop, target, run.cancel);
    auto self = weak.lock();
    if (!self) co_return true;
    switch (revalidation.kind) {
        case RevalidationKind::cancelled: co_return true;
        case RevalidationKind::changed:
            completeFailed(*self, run, "target_changed", "focused_element_changed",
                           "The original text field is no longer focused.");
            co_return true;
        case RevalidationKind::treeUnavailable:
            completeFailed(*self, run, "no_editable_target", "accessibility_tree_not_ready",
                           "The application's accessibility tree was not ready.");
            co_return true;
        case RevalidationKind::validated: break;
    }
    if (run.cancel.isCancelled()) co_return true;
    auto& capture = self->capture();
    const auto& element = revalidation.resolution.element;
    const auto timeout = target.elementMessagingTimeout;
    if (capture.secureState(element, std::nullopt, timeout).value_or(true)) {
        completeSecureField(*self, run);
        co_return true;
    }
    if (revalidation.resolution.ownerPID != target.pid) co_return false;
    if (!capture.pasteCapability(element, std::nullopt, timeout).value_or(false)) co_return false;
    // A web view's text engine may take the write differently from what it
    // reports back; such fields only get the clipboard.
    if (capture.isWebBacked(element, timeout)) co_return false;
    if (!target.selectedRange) co_return false;
    auto current = capture.selectedTextRange(element, std::nullopt, timeout);
    if (current != target.selectedRange) co_return false;
    if (!capture.isSelectedTextSettable(element, axattr::selectedText, std::nullopt, timeout)) co_return false;
    const auto range = *target.selectedRange;
    if (!rangeIsUsable(range, text)) {
        completeInvalidRange(*self, run);
        co_return true;
    }
    auto valueBefore = boundedValue(capture, element, std::nullopt, timeout);
    auto expected = TextInsertionVerification::expectedValue(valueBefore, range, text);
    if (run.cancel.isCancelled()) co_return true;
    const auto error =
        capture.ports().accessibility.setAttributeValue(element, axattr::selectedText, AXAttributeValue(text), timeout);
    if (error != axerror::success) {
        completeFailed(*self, run, "verification_failed", "accessibility_write_unconfirmed",
                       "The target did not confirm the Accessibility write.");
        co_return true;
    }
    auto valueAfter = boundedValue(capture, element, std::nullopt, timeout);
    auto after = capture.selectedTextRange(element, std::nullopt, timeout);
    const bool verified = TextInsertionVerification::isVerifiedInsertion(expected, valueBefore, valueAfter, range,
                                                                         after, utf16Count(text), text);
    run.complete(
        DeliveryResult::inserted(TextDeliveryMethod::accessibility, verified, elapsed(*self, run)));
    co_return true;
}

// ---- Validated delivery into the captured target --------------------------------------

Task<void> validatedDelivery(std::weak_ptr<FocusTextInjector> weak, MainLoop& loop, std::string text,
                             FocusTargetSnapshot target, FocusedElementResolution resolution,
                             CommandDispatchedCallback onCommandDispatched, DeliveryRun run) {
    bool selectionChanged = false;
    {
        auto self = weak.lock();
        if (!self) co_return;
        auto& capture = self->capture();
        const auto timeout = target.elementMessagingTimeout;
        if (capture.secureState(resolution.element, std::nullopt, timeout).value_or(true)) {
            completeSecureField(*self, run);
            co_return;
        }
        if (target.selectedRange) {
            auto current = capture.selectedTextRange(resolution.element, std::nullopt, timeout);
            selectionChanged = current && *current != *target.selectedRange;
        }
        if (!selectionChanged && target.selectedRange && !rangeIsUsable(*target.selectedRange, text)) {
            completeInvalidRange(*self, run);
            co_return;
        }
    }
    if (selectionChanged) {
        co_await FocusDelivery::intoCurrentFocus(weak, loop, text, CurrentFocusHost::of(target),
                                                 "strict_ax_selection_changed", onCommandDispatched, run);
        co_return;
    }

    const auto delays = AXManualAccessibilityRetryPolicy::deliveryRevalidationDelays();
    ClipboardPasteStartResult result = ClipboardPasteStartResult::unavailable;
    std::optional<ClipboardPreparationFailure> failure;
    for (int starts = 0; starts < kMaximumPasteStarts; ++starts) {
        if (starts > 0) {
            if (!ClipboardPreparationRetryPolicy::shouldRetry(result, failure)) break;
            const auto pause = delays[static_cast<std::size_t>(starts) % delays.size()];
            if (!co_await sleepFor(loop, pause, run.cancel)) co_return;
        }
        auto self = weak.lock();
        if (!self || run.cancel.isCancelled()) co_return;
        result = startTargetPaste(*self, text, target, onCommandDispatched, run);
        failure = self->clipboardPaster().lastPreparationFailure();
    }

    switch (result) {
        case ClipboardPasteStartResult::posted: co_return;
        case ClipboardPasteStartResult::transient:
            co_await FocusDelivery::intoCurrentFocus(weak, loop, text, CurrentFocusHost::of(target),
                                                     "strict_clipboard_tree_unavailable", onCommandDispatched, run);
            co_return;
        case ClipboardPasteStartResult::changed:
            co_await FocusDelivery::intoCurrentFocus(weak, loop, text, CurrentFocusHost::of(target),
                                                     "strict_clipboard_target_changed", onCommandDispatched, run);
            co_return;
        case ClipboardPasteStartResult::unavailable: break;
    }
    const auto details = ClipboardFailureDetails::from(failure);
    if (auto self = weak.lock()) {
        self->focusLog().error("Clipboard preparation failed reason={}", logPublic(details.code));
    }
    const bool handled = co_await accessibilityFallback(weak, loop, text, target, run);
    if (handled) co_return;
    if (auto self = weak.lock()) completeWithDetails(*self, run, details);
}

// ---- Current focus ----------------------------------------------------------------------

void failAsChanged(FocusTextInjector& injector, const DeliveryRun& run) {
    const auto& ports = injector.capture().ports();
    if (!ports.accessibility.isProcessTrusted()) {
        completeFailed(injector, run, "permission_denied", "accessibility_permission_missing",
                       "Accessibility permission is missing.");
    } else if (ports.inputActivity.isSecureEventInputEnabled()) {
        completeFailed(injector, run, "secure_field", "secure_input_enabled", "Secure keyboard input is active.");
    } else {
        completeFailed(injector, run, "target_changed", "pinned_focus_changed",
                       "The original application, input epoch, or focused window changed.");
    }
}

// Host, process, input and secure input, as the current-focus path checks
// them before it pastes.
bool currentFocusHostMatches(FocusCapture& capture, const CurrentFocusHost& host) {
    return hostStillMatches(capture, host.pid, host.processBirth, host.inputEpoch) &&
           !capture.ports().inputActivity.isSecureEventInputEnabled();
}

ClipboardTargetValidation windowResult(FocusWindowValidation window) {
    return window == FocusWindowValidation::changed ? ClipboardTargetValidation::changed
                                                    : ClipboardTargetValidation::exact;
}

ClipboardTargetValidation currentFocusHostValidation(FocusCapture& capture, const CurrentFocusHost& host,
                                                     Deadline deadline) {
    if (capture.deadlinePassed(deadline)) return ClipboardTargetValidation::transient;
    if (!currentFocusHostMatches(capture, host)) return ClipboardTargetValidation::changed;
    const auto window = capture.focusedWindowValidation(host.pid, host.focusedWindow, deadline);
    if (window == FocusWindowValidation::temporarilyUnavailable) return ClipboardTargetValidation::transient;
    auto attempt = capture.focusedElementAttempt(host.pid, deadline, deadline.has_value());
    if (attempt.resolution) {
        const auto& element = attempt.resolution->element;
        auto secure = capture.secureState(element, deadline);
        if (!secure) return ClipboardTargetValidation::transient;
        if (*secure) return ClipboardTargetValidation::changed;
        auto paste = capture.pasteCapability(element, deadline);
        if (!paste) return ClipboardTargetValidation::transient;
        auto role = capture.stringAttribute(element, axattr::role, deadline);
        if (capture.deadlinePassed(deadline)) return ClipboardTargetValidation::transient;
        if (!UniversalFocusDeliveryPolicy::allowsCurrentResponder(role, *paste)) {
            return ClipboardTargetValidation::changed;
        }
    }
    if (capture.deadlinePassed(deadline)) return ClipboardTargetValidation::transient;
    return windowResult(window);
}

ClipboardPasteStartResult startCurrentFocusPaste(FocusTextInjector& injector, const std::string& text,
                                                 const CurrentFocusHost& host, Deadline deadline,
                                                 const CommandDispatchedCallback& onCommandDispatched,
                                                 const DeliveryRun& run) {
    std::weak_ptr<FocusTextInjector> weak = injector.weak_from_this();
    auto evidence = std::make_shared<InsertionEvidence>();
    auto validate = [weak, &host, &text, deadline, evidence] {
        auto self = weak.lock();
        if (!self) return ClipboardTargetValidation::changed;
        auto& capture = self->capture();
        const auto validation = currentFocusHostValidation(capture, host, deadline);
        if (validation != ClipboardTargetValidation::exact) return validation;
        auto attempt = capture.focusedElementAttempt(host.pid, deadline, true);
        if (attempt.resolution) {
            const auto& element = attempt.resolution->element;
            if (capture.secureState(element, deadline) == false && capture.pasteCapability(element, deadline) == true) {
                evidence->valueBefore = boundedValue(capture, element, deadline);
                evidence->range = capture.selectedTextRange(element, deadline);
                evidence->expectedValue =
                    evidence->range ? TextInsertionVerification::expectedValue(evidence->valueBefore,
                                                                               *evidence->range, text)
                                    : std::nullopt;
            }
        }
        return ClipboardTargetValidation::exact;
    };
    auto consumed = [weak, host, text, evidence] {
        if (evidence->observed) return true;
        auto self = weak.lock();
        if (!self) return false;
        auto& capture = self->capture();
        if (!currentFocusHostMatches(capture, host)) return false;
        auto attempt = capture.focusedElementAttempt(host.pid, std::nullopt, false);
        if (!attempt.resolution) return false;
        const auto& element = attempt.resolution->element;
        if (capture.secureState(element, std::nullopt).value_or(true)) return false;
        auto valueAfter = boundedValue(capture, element, std::nullopt);
        auto current = capture.selectedTextRange(element, std::nullopt);
        evidence->observed = TextInsertionVerification::isVerifiedInsertion(
            evidence->expectedValue, evidence->valueBefore, valueAfter, evidence->range, current, utf16Count(text),
            text);
        return evidence->observed;
    };
    return injector.clipboardPaster().beginPasteReporting(text, host.pid, validate, consumed, onCommandDispatched,
                                                          terminalCompletion(weak, run));
}

enum class PassOutcome { nextPass, failAsChanged, completed, leave };

// One pass of the current-focus delivery, after its pause.
PassOutcome currentFocusPass(FocusTextInjector& injector, const std::string& text, const CurrentFocusHost& host,
                             MonotonicTime deadline, const CommandDispatchedCallback& onCommandDispatched,
                             const DeliveryRun& run, CurrentFocusState& state) {
    auto& capture = injector.capture();
    if (!capture.ports().accessibility.isProcessTrusted()) return PassOutcome::failAsChanged;
    if (!currentFocusHostMatches(capture, host)) return PassOutcome::failAsChanged;
    const auto window = capture.focusedWindowValidation(host.pid, host.focusedWindow, deadline);
    if (window == FocusWindowValidation::temporarilyUnavailable) {
        state = CurrentFocusState::transient;
        return PassOutcome::nextPass;
    }
    auto attempt = capture.focusedElementAttempt(host.pid, deadline, true);
    if (attempt.resolution) {
        const auto& element = attempt.resolution->element;
        auto secure = capture.secureState(element, deadline);
        if (!secure) {
            state = CurrentFocusState::transient;
            return PassOutcome::nextPass;
        }
        if (*secure) return PassOutcome::failAsChanged;
        auto paste = capture.pasteCapability(element, deadline);
        auto role = paste ? capture.stringAttribute(element, axattr::role, deadline) : std::nullopt;
        if (!paste || capture.deadlinePassed(deadline)) {
            state = CurrentFocusState::transient;
            return PassOutcome::nextPass;
        }
        if (!UniversalFocusDeliveryPolicy::allowsCurrentResponder(role, *paste)) return PassOutcome::failAsChanged;
    }
    if (capture.deadlinePassed(deadline)) {
        state = CurrentFocusState::transient;
        return PassOutcome::nextPass;
    }
    if (window == FocusWindowValidation::changed) return PassOutcome::failAsChanged;

    switch (startCurrentFocusPaste(injector, text, host, deadline, onCommandDispatched, run)) {
        case ClipboardPasteStartResult::transient: state = CurrentFocusState::transient; return PassOutcome::nextPass;
        case ClipboardPasteStartResult::posted: state = CurrentFocusState::posted; return PassOutcome::leave;
        case ClipboardPasteStartResult::changed: state = CurrentFocusState::changed; return PassOutcome::leave;
        case ClipboardPasteStartResult::unavailable: break;
    }
    const auto failure = injector.clipboardPaster().lastPreparationFailure();
    if (failure == ClipboardPreparationFailure::snapshotUnavailable) {
        state = CurrentFocusState::unavailable;
        return PassOutcome::nextPass;
    }
    completeWithDetails(injector, run, ClipboardFailureDetails::from(failure));
    return PassOutcome::completed;
}

}  // namespace

CurrentFocusHost CurrentFocusHost::of(const FocusHostPin& pin) {
    return CurrentFocusHost{.pid = pin.pid,
                            .bundleIdentifier = pin.bundleIdentifier,
                            .processBirth = pin.processBirth,
                            .inputEpoch = pin.inputEpoch,
                            .focusedWindow = pin.focusedWindow};
}

CurrentFocusHost CurrentFocusHost::of(const FocusTargetSnapshot& target) {
    return CurrentFocusHost{.pid = target.pid,
                            .bundleIdentifier = target.bundleIdentifier,
                            .processBirth = target.processBirth,
                            .inputEpoch = target.inputEpoch,
                            .focusedWindow = target.focusedWindow};
}

ClipboardFailureDetails ClipboardFailureDetails::from(std::optional<ClipboardPreparationFailure> failure) {
    static constexpr std::string_view unsafe = "Dorvex could not safely prepare the clipboard or paste command.";
    auto unsupported = [](std::string_view code) {
        return ClipboardFailureDetails{"unsupported", std::string(code), std::string(unsafe)};
    };
    if (!failure) return unsupported("clipboard_paste_unavailable");
    if (*failure == ClipboardPreparationFailure::eventAccessDenied) {
        return ClipboardFailureDetails{"permission_denied", std::string(rawValue(*failure)),
                                       "macOS has not allowed this Dorvex app to send keyboard events."};
    }
    return unsupported(rawValue(*failure));
}

Task<void> FocusDelivery::intoTarget(std::weak_ptr<FocusTextInjector> injector, MainLoop& loop, std::string text,
                                     FocusTargetSnapshot target, CommandDispatchedCallback onCommandDispatched,
                                     DeliveryRun run) {
    if (injector.expired() || run.cancel.isCancelled()) co_return;
    if (refusedEmptyText(injector, text, run)) co_return;
    auto revalidation = co_await revalidate(injector, loop, target, run.cancel);
    switch (revalidation.kind) {
        case RevalidationKind::changed:
            co_await intoCurrentFocus(injector, loop, text, CurrentFocusHost::of(target), "strict_ax_target_changed",
                                      onCommandDispatched, run);
            co_return;
        case RevalidationKind::treeUnavailable:
            co_await intoCurrentFocus(injector, loop, text, CurrentFocusHost::of(target), "strict_ax_tree_unavailable",
                                      onCommandDispatched, run);
            co_return;
        case RevalidationKind::cancelled: co_return;
        case RevalidationKind::validated: break;
    }
    if (run.cancel.isCancelled()) co_return;
    co_await validatedDelivery(injector, loop, std::move(text), std::move(target), revalidation.resolution,
                               std::move(onCommandDispatched), std::move(run));
}

Task<void> FocusDelivery::intoCurrentFocus(std::weak_ptr<FocusTextInjector> injector, MainLoop& loop,
                                           std::string text, CurrentFocusHost host, std::string triggerReason,
                                           CommandDispatchedCallback onCommandDispatched, DeliveryRun run) {
    if (run.cancel.isCancelled() || refusedEmptyText(injector, text, run)) co_return;
    MonotonicTime deadline;
    {
        auto self = injector.lock();
        if (!self) co_return;
        deadline = self->capture().now() + AXManualAccessibilityRetryPolicy::clipboardPreDispatchWallClockBudget;
    }
    auto state = CurrentFocusState::transient;
    for (const auto delay : AXManualAccessibilityRetryPolicy::finalizationRetryDelays()) {
        Duration remaining{};
        {
            auto self = injector.lock();
            if (!self) co_return;
            remaining = deadline - self->capture().now();
        }
        if (run.cancel.isCancelled() || remaining <= Duration::zero()) break;
        const auto pause = std::min(delay, remaining);
        if (pause > Duration::zero() && !co_await sleepFor(loop, pause, run.cancel)) break;
        auto self = injector.lock();
        if (!self) co_return;
        if (run.cancel.isCancelled() || self->capture().deadlinePassed(deadline)) break;
        const auto outcome = currentFocusPass(*self, text, host, deadline, onCommandDispatched, run, state);
        if (outcome == PassOutcome::completed) co_return;
        if (outcome == PassOutcome::failAsChanged) {
            failAsChanged(*self, run);
            co_return;
        }
        if (outcome == PassOutcome::leave) break;
    }

    auto self = injector.lock();
    // A cancelled delivery ends without a result.
    if (!self || run.cancel.isCancelled()) co_return;
    switch (state) {
        case CurrentFocusState::posted:
            self->focusLog().info(
                "Dispatched current-focus Cmd-V host_pid={} app={} trigger={} ax_identity_required=false",
                logPublic(host.pid), logPublic(host.bundleIdentifier.value_or(std::string(kUnknownApplication))),
                logPublic(triggerReason));
            break;
        case CurrentFocusState::transient:
            completeFailed(*self, run, "no_editable_target", "pinned_window_temporarily_unavailable",
                           "The original focused window could not be revalidated before the deadline.");
            break;
        case CurrentFocusState::changed: failAsChanged(*self, run); break;
        case CurrentFocusState::unavailable:
            completeWithDetails(*self, run,
                                ClipboardFailureDetails::from(ClipboardPreparationFailure::snapshotUnavailable));
            break;
    }
}

}  // namespace murmo
