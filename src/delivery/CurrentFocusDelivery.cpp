#include "delivery/CurrentFocusDelivery.h"

#include <algorithm>
#include <chrono>

#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "delivery/FocusPolicies.h"
#include "delivery/TextInsertionVerification.h"

namespace murmo {

namespace {

constexpr std::string_view kUnknownApplication = "unknown";

using Deadline = FocusCapture::Deadline;

enum class CurrentFocusState { transient, unavailable, posted, changed };
enum class PassOutcome { nextPass, failAsChanged, completed, leave };

void failAsChanged(const DeliveryContext& context, const DeliveryServices& services) {
    const auto& ports = services.capture.ports();
    if (!ports.accessibility.isProcessTrusted()) {
        context.fail(services, CaptureFailure::permission);
    } else if (ports.inputActivity.isSecureEventInputEnabled()) {
        context.fail(services, DeliveryFailure::secureInputEnabled);
    } else {
        context.fail(services, DeliveryFailure::pinnedFocusChanged);
    }
}

// Host, process, input and secure input, as the current-focus path checks
// them before it pastes.
bool currentFocusHostMatches(FocusCapture& capture, const CurrentFocusHost& host) {
    return capture.hostUnchanged(host.pid, host.processBirth, host.inputEpoch) &&
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

ClipboardPasteStart startCurrentFocusPaste(DeliveryServices& services, const DeliveryContext& context,
                                           const std::string& text, const CurrentFocusHost& host, Deadline deadline) {
    auto evidence = std::make_shared<InsertionEvidence>();
    auto validate = [weak = context.services, &host, &text, deadline, evidence] {
        auto locked = weak.lock();
        if (!locked) return ClipboardTargetValidation::changed;
        auto& capture = locked->capture;
        const auto validation = currentFocusHostValidation(capture, host, deadline);
        if (validation != ClipboardTargetValidation::exact) return validation;
        auto attempt = capture.focusedElementAttempt(host.pid, deadline, true);
        if (attempt.resolution) {
            const auto& element = attempt.resolution->element;
            if (capture.secureState(element, deadline) == false && capture.pasteCapability(element, deadline) == true) {
                evidence->valueBefore = boundedValue(capture, element, deadline);
                evidence->range = capture.selectedTextRange(element, deadline);
                evidence->expectedValue = evidence->range ? TextInsertionVerification::expectedValue(
                                                                evidence->valueBefore, *evidence->range, text)
                                                          : std::nullopt;
            }
        }
        return ClipboardTargetValidation::exact;
    };
    auto consumed = [host, text, evidence](FocusCapture& capture) {
        if (!currentFocusHostMatches(capture, host)) return false;
        auto attempt = capture.focusedElementAttempt(host.pid, std::nullopt, false);
        if (!attempt.resolution) return false;
        const auto& element = attempt.resolution->element;
        if (capture.secureState(element, std::nullopt).value_or(true)) return false;
        auto valueAfter = boundedValue(capture, element, std::nullopt);
        auto current = capture.selectedTextRange(element, std::nullopt);
        return TextInsertionVerification::isVerifiedInsertion(evidence->expectedValue, evidence->valueBefore,
                                                              valueAfter, evidence->range, current, utf16Count(text),
                                                              text);
    };
    return services.paster.beginPasteReporting(text, host.pid, validate,
                                               observedOnce(context.services, evidence, std::move(consumed)),
                                               context.onCommandDispatched, context.pasteCompletion());
}

// One pass of the current-focus delivery, after its pause.
PassOutcome currentFocusPass(DeliveryServices& services, const DeliveryContext& context, const std::string& text,
                             const CurrentFocusHost& host, MonotonicTime deadline, CurrentFocusState& state) {
    auto& capture = services.capture;
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

    const auto start = startCurrentFocusPaste(services, context, text, host, deadline);
    switch (start.result) {
        case ClipboardPasteStartResult::transient: state = CurrentFocusState::transient; return PassOutcome::nextPass;
        case ClipboardPasteStartResult::posted: state = CurrentFocusState::posted; return PassOutcome::leave;
        case ClipboardPasteStartResult::changed: state = CurrentFocusState::changed; return PassOutcome::leave;
        case ClipboardPasteStartResult::unavailable: break;
    }
    const auto failure = start.failure;
    if (failure == ClipboardPreparationFailure::snapshotUnavailable) {
        state = CurrentFocusState::unavailable;
        return PassOutcome::nextPass;
    }
    context.fail(services, ClipboardFailureDetails::from(failure));
    return PassOutcome::completed;
}

// Reports how the passes ended.
void finish(const DeliveryContext& context, const DeliveryServices& services, CurrentFocusState state,
            const CurrentFocusHost& host, const std::string& triggerReason) {
    switch (state) {
        case CurrentFocusState::posted:
            services.log.info("Dispatched current-focus Cmd-V host_pid={} app={} trigger={} ax_identity_required=false",
                              logPublic(host.pid),
                              logPublic(host.bundleIdentifier.value_or(std::string(kUnknownApplication))),
                              logPublic(triggerReason));
            break;
        case CurrentFocusState::transient:
            context.fail(services, DeliveryFailure::pinnedWindowTemporarilyUnavailable);
            break;
        case CurrentFocusState::changed: failAsChanged(context, services); break;
        case CurrentFocusState::unavailable:
            context.fail(services, ClipboardFailureDetails::from(ClipboardPreparationFailure::snapshotUnavailable));
            break;
    }
}

// A pin and a captured target name their host with the same fields.
template <typename Pinned>
CurrentFocusHost hostOf(const Pinned& pinned) {
    return CurrentFocusHost{.pid = pinned.pid,
                            .bundleIdentifier = pinned.bundleIdentifier,
                            .processBirth = pinned.processBirth,
                            .inputEpoch = pinned.inputEpoch,
                            .focusedWindow = pinned.focusedWindow};
}

}  // namespace

CurrentFocusHost CurrentFocusHost::of(const FocusHostPin& pin) { return hostOf(pin); }

CurrentFocusHost CurrentFocusHost::of(const FocusTargetSnapshot& target) { return hostOf(target); }

Task<void> CurrentFocusDelivery::run(DeliveryContext context, std::string text, CurrentFocusHost host,
                                     std::string triggerReason) {
    const auto& run = context.run;
    if (run.cancel.isCancelled() || context.refusedEmptyText(text)) co_return;
    MonotonicTime deadline;
    {
        auto services = context.services.lock();
        if (!services) co_return;
        deadline = services->capture.now() + AXManualAccessibilityRetryPolicy::clipboardPreDispatchWallClockBudget;
    }
    auto state = CurrentFocusState::transient;
    for (const auto delay : AXManualAccessibilityRetryPolicy::finalizationRetryDelays()) {
        Duration remaining{};
        {
            auto services = context.services.lock();
            if (!services) co_return;
            remaining = deadline - services->capture.now();
        }
        if (run.cancel.isCancelled() || remaining <= Duration::zero()) break;
        const auto pause = std::min(delay, remaining);
        if (pause > Duration::zero() && !co_await sleepFor(context.loop, pause, run.cancel)) break;
        auto services = context.services.lock();
        if (!services) co_return;
        if (run.cancel.isCancelled() || services->capture.deadlinePassed(deadline)) break;
        const auto outcome = currentFocusPass(*services, context, text, host, deadline, state);
        if (outcome == PassOutcome::completed) co_return;
        if (outcome == PassOutcome::failAsChanged) {
            failAsChanged(context, *services);
            co_return;
        }
        if (outcome == PassOutcome::leave) break;
    }

    auto services = context.services.lock();
    // A cancelled delivery ends without a result.
    if (!services || run.cancel.isCancelled()) co_return;
    finish(context, *services, state, host, triggerReason);
}

}  // namespace murmo
