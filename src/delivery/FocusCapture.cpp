#include "delivery/FocusCapture.h"

#include <algorithm>
#include <chrono>
#include <unordered_set>

#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "delivery/FocusPolicies.h"

namespace murmo {

namespace {

constexpr Duration kMinimumRead = std::chrono::milliseconds(1);
// What an element that ended a capture with a deadline keeps as its own
// time-out for the reads of the delivery that follows.
constexpr AXMessagingTimeout kCapturedElementTimeout = 0.2f;
constexpr int kMaximumAncestorSteps = 16;
constexpr int kMaximumWebAreaDepth = 32;
constexpr std::string_view kSecureTextFieldRole = "AXSecureTextField";

const char* boolText(bool value) { return value ? "true" : "false"; }


bool isLazyTreeError(AXError error) { return error == axerror::attributeUnsupported || error == axerror::noValue; }

}  // namespace

std::string_view phaseName(FocusCapturePhase phase) {
    return phase == FocusCapturePhase::activation ? "activation" : "finalization";
}

struct FocusCapture::WorkerState {
    FocusHostPin pin;
    FocusCapturePhase phase;
    Deadline deadline;
    CancelToken cancel;
    int attempts = 1;  // the key-press attempt counts
    AXError applicationError = axerror::failure;
    AXError focusedApplicationError = axerror::failure;
    AXError systemWideError = axerror::failure;
    bool partialSeen = false;
};

FocusCapture::FocusCapture(FocusCapturePorts ports) : ports_(std::move(ports)) {}

MonotonicTime FocusCapture::now() const { return ports_.loop.clock().now(); }

bool FocusCapture::outOfTime(Deadline deadline) const { return deadline && *deadline - now() < kMinimumRead; }

// ---- Reads ----------------------------------------------------------------

std::optional<AXMessagingTimeout> FocusCapture::readTimeout(Deadline deadline,
                                                            AXMessagingTimeout elementTimeout) const {
    if (!deadline) return elementTimeout;
    const Duration remaining = *deadline - now();
    if (remaining < kMinimumRead) return std::nullopt;
    return std::min(std::chrono::duration<AXMessagingTimeout>(remaining).count(),
                    AXManualAccessibilityRetryPolicy::finalizationMaximumAXMessagingTimeoutSeconds);
}

AXResult<AXAttributeValue> FocusCapture::copyValue(const AXElement& element, std::string_view attribute,
                                                   Deadline deadline, AXMessagingTimeout elementTimeout) {
    auto timeout = readTimeout(deadline, elementTimeout);
    if (!timeout) return {axerror::cannotComplete, std::nullopt};
    auto result = ports_.accessibility.copyAttributeValue(element, attribute, *timeout);
    if (deadlinePassed(deadline) && result.error == axerror::success) {
        // Too late to act on: the deadline is a promise to the user.
        return {axerror::cannotComplete, std::nullopt};
    }
    return result;
}

AXResult<AXElement> FocusCapture::elementAttribute(const AXElement& element, std::string_view attribute,
                                                   Deadline deadline, AXMessagingTimeout elementTimeout) {
    auto result = copyValue(element, attribute, deadline, elementTimeout);
    if (result.error != axerror::success || !result.value) return {result.error, std::nullopt};
    const auto* found = std::get_if<AXElement>(&*result.value);
    if (!found || !*found) return {result.error, std::nullopt};
    return {axerror::success, *found};
}

std::optional<std::string> FocusCapture::stringAttribute(const AXElement& element, std::string_view attribute,
                                                         Deadline deadline, AXMessagingTimeout elementTimeout) {
    auto result = copyValue(element, attribute, deadline, elementTimeout);
    if (result.error != axerror::success || !result.value) return std::nullopt;
    const auto* text = std::get_if<std::string>(&*result.value);
    if (!text) return std::nullopt;
    return *text;
}

std::optional<AXTextRange> FocusCapture::selectedTextRange(const AXElement& element, Deadline deadline,
                                                           AXMessagingTimeout elementTimeout) {
    auto result = copyValue(element, axattr::selectedTextRange, deadline, elementTimeout);
    if (result.error != axerror::success || !result.value) return std::nullopt;
    const auto* range = std::get_if<AXTextRange>(&*result.value);
    if (!range) return std::nullopt;
    return *range;
}

bool FocusCapture::isSelectedTextSettable(const AXElement& element, std::string_view attribute, Deadline deadline,
                                          AXMessagingTimeout elementTimeout) {
    auto timeout = readTimeout(deadline, elementTimeout);
    if (!timeout) return false;
    auto result = ports_.accessibility.isAttributeSettable(element, attribute, *timeout);
    if (result.error != axerror::success || outOfTime(deadline)) return false;
    return result.value.value_or(false);
}

std::optional<bool> FocusCapture::pasteCapability(const AXElement& element, Deadline deadline,
                                                  AXMessagingTimeout elementTimeout) {
    const bool hasRange = selectedTextRange(element, deadline, elementTimeout).has_value();
    if (outOfTime(deadline)) return std::nullopt;
    if (hasRange) return true;
    const bool selectedTextSettable = isSelectedTextSettable(element, axattr::selectedText, deadline, elementTimeout);
    if (outOfTime(deadline)) return std::nullopt;
    if (selectedTextSettable) return true;
    const bool valueSettable = isSelectedTextSettable(element, axattr::value, deadline, elementTimeout);
    if (outOfTime(deadline)) return std::nullopt;
    auto role = stringAttribute(element, axattr::role, deadline, elementTimeout);
    if (outOfTime(deadline)) return std::nullopt;
    return FocusEditableTargetPolicy::isPasteCapable(false, false, valueSettable, role);
}

std::optional<bool> FocusCapture::secureState(const AXElement& element, Deadline deadline,
                                              AXMessagingTimeout elementTimeout) {
    auto role = stringAttribute(element, axattr::role, deadline, elementTimeout);
    if (outOfTime(deadline)) return std::nullopt;
    if (role == kSecureTextFieldRole) return true;
    auto subrole = stringAttribute(element, axattr::subrole, deadline, elementTimeout);
    if (outOfTime(deadline)) return std::nullopt;
    return subrole == kSecureTextFieldRole;
}

// ---- Identity checks --------------------------------------------------------

FocusWindowValidation FocusCapture::focusedWindowValidation(std::int32_t pid,
                                                            const std::optional<AXElement>& originalWindow,
                                                            Deadline deadline) {
    if (!originalWindow) return FocusWindowValidation::match;
    if (outOfTime(deadline)) return FocusWindowValidation::temporarilyUnavailable;
    auto application = ports_.accessibility.applicationElement(pid);
    auto window = elementAttribute(application, axattr::focusedWindow, deadline);
    if (window.value) {
        return *window.value == *originalWindow ? FocusWindowValidation::match : FocusWindowValidation::changed;
    }
    switch (window.error) {
        case axerror::noValue:
        case axerror::attributeUnsupported:
        case axerror::cannotComplete:
        case axerror::failure: return FocusWindowValidation::temporarilyUnavailable;
        default: return FocusWindowValidation::changed;
    }
}

bool FocusCapture::hostUnchanged(std::int32_t pid, const std::optional<FocusProcessBirthIdentity>& birth,
                                 const FocusInputEpoch& epoch) {
    if (!ports_.accessibility.isProcessTrusted()) return false;
    auto frontmost = ports_.workspace.frontmostApplication();
    if (!frontmost || frontmost->processIdentifier != pid) return false;
    if (!processBirthStillMatches(pid, birth)) return false;
    return FocusInputEpoch::read(ports_.inputActivity) == epoch;
}

bool FocusCapture::processBirthStillMatches(std::int32_t pid,
                                            const std::optional<FocusProcessBirthIdentity>& expected) {
    if (!expected) return ports_.workspace.runningApplication(pid).has_value();
    if (pid <= 1) return false;
    auto record = ports_.processInfo.processRecord(pid);
    if (!record) return false;
    return record->startSeconds == expected->seconds && record->startMicroseconds == expected->microseconds;
}

bool FocusCapture::isDescendantProcess(std::int32_t childPID, std::int32_t ancestorPID) {
    if (childPID <= 1 || ancestorPID <= 1 || childPID == ancestorPID) return false;
    std::unordered_set<std::int32_t> visited;
    auto current = childPID;
    for (int step = 0; step < kMaximumAncestorSteps; ++step) {
        if (current <= 1 || !visited.insert(current).second) return false;
        auto record = ports_.processInfo.processRecord(current);
        if (!record) return false;
        if (record->parentPID == ancestorPID) return true;
        current = record->parentPID;
    }
    return false;
}

bool FocusCapture::isWebBacked(const AXElement& element, AXMessagingTimeout elementTimeout) {
    std::unordered_set<std::size_t> seen;
    auto current = element;
    auto timeout = elementTimeout;
    for (int depth = 0; depth < kMaximumWebAreaDepth && current; ++depth) {
        if (!seen.insert(current.hash()).second) break;
        if (stringAttribute(current, axattr::role, std::nullopt, timeout) == "AXWebArea") return true;
        auto parent = elementAttribute(current, axattr::parent, std::nullopt, timeout);
        if (!parent.value) break;
        current = *parent.value;
        timeout = kDefaultTimeout;  // a fresh reference carries no time-out of its own
    }
    return false;
}

std::optional<FocusedElementResolution> FocusCapture::validatedResolution(const AXElement& element,
                                                                          std::int32_t hostPID,
                                                                          std::string_view source) {
    auto frontmost = ports_.workspace.frontmostApplication();
    if (!frontmost || frontmost->processIdentifier != hostPID) return std::nullopt;
    auto owner = ports_.accessibility.ownerPID(element);
    if (owner.error != axerror::success || !owner.value) return std::nullopt;
    const auto ownerPID = *owner.value;
    auto ownerApplication = ports_.workspace.runningApplication(ownerPID);
    const bool ownerIsDescendant = isDescendantProcess(ownerPID, hostPID);
    auto& processes = ports_.processInfo;
    const bool permitted = FocusApplicationFamilyPolicy::permitsElementOwner(
        hostPID, ownerPID, frontmost->bundleURL,
        ownerApplication ? ownerApplication->bundleURL : std::optional<std::filesystem::path>{}, ownerIsDescendant,
        [&processes](const std::filesystem::path& path) { return processes.canonicalPath(path); });
    if (!permitted) {
        ports_.log.notice("Rejected unrelated AX owner source={} host_pid={} owner_pid={}", logPublic(source),
                          logPublic(hostPID), logPublic(ownerPID));
        return std::nullopt;
    }
    // Owner checks may have taken a while; the host must still be in front.
    auto stillFrontmost = ports_.workspace.frontmostApplication();
    if (!stillFrontmost || stillFrontmost->processIdentifier != hostPID) return std::nullopt;
    if (ownerPID != hostPID) {
        ports_.log.debug("Accepted remote AX owner source={} host_pid={} owner_pid={}", logPublic(source),
                         logPublic(hostPID), logPublic(ownerPID));
    }
    return FocusedElementResolution{.element = element, .ownerPID = ownerPID};
}

// ---- One focus attempt --------------------------------------------------------

std::optional<FocusedElementResolution> FocusCapture::systemFocusedApplicationSource(std::int32_t hostPID,
                                                                                     Deadline deadline,
                                                                                     FocusAttempt& attempt) {
    auto systemWide = ports_.accessibility.systemWideElement();
    auto application = elementAttribute(systemWide, axattr::focusedApplication, deadline);
    attempt.focusedApplicationError = application.error;
    if (!application.value) return std::nullopt;
    auto focused = elementAttribute(*application.value, axattr::focusedUIElement, deadline);
    attempt.focusedApplicationError = focused.error;
    if (!focused.value) return std::nullopt;
    return validatedResolution(*focused.value, hostPID, "system_focused_application");
}

FocusAttempt FocusCapture::focusedElementAttempt(std::int32_t applicationPID, Deadline deadline,
                                                 bool applicationScopedOnly,
                                                 AXMessagingTimeout applicationElementTimeout) {
    FocusAttempt attempt;
    auto unresolved = [&attempt](AXError error) {
        attempt.applicationError = attempt.focusedApplicationError = attempt.systemWideError = error;
        return attempt;
    };
    auto frontmost = ports_.workspace.frontmostApplication();
    if (!ports_.workspace.runningApplication(applicationPID) || !frontmost ||
        frontmost->processIdentifier != applicationPID) {
        return unresolved(axerror::invalidUIElement);
    }
    if (deadline) {
        if (deadlinePassed(deadline)) return unresolved(axerror::invalidUIElement);
        if (outOfTime(deadline)) return unresolved(axerror::cannotComplete);
    }

    auto application = ports_.accessibility.applicationElement(applicationPID);
    auto focused = elementAttribute(application, axattr::focusedUIElement, deadline, applicationElementTimeout);
    attempt.applicationError = focused.error;
    if (focused.value) {
        if (auto accepted = validatedResolution(*focused.value, applicationPID, "application")) {
            attempt.resolution = accepted;
            return attempt;
        }
    }
    if (applicationScopedOnly) {
        attempt.focusedApplicationError = attempt.systemWideError = axerror::noValue;
        return attempt;
    }

    if (deadlinePassed(deadline)) return attempt;
    if (auto accepted = systemFocusedApplicationSource(applicationPID, deadline, attempt)) {
        attempt.resolution = accepted;
        return attempt;
    }

    if (deadlinePassed(deadline)) return attempt;
    auto systemWide = elementAttribute(ports_.accessibility.systemWideElement(), axattr::focusedUIElement, deadline);
    attempt.systemWideError = systemWide.error;
    if (systemWide.value) attempt.resolution = validatedResolution(*systemWide.value, applicationPID, "system_wide");
    return attempt;
}

// ---- The capture worker -------------------------------------------------------

Task<CaptureResult> FocusCapture::finishCapture(std::weak_ptr<FocusCapture> capture, FocusHostPin pin,
                                                std::vector<Duration> retryDelays, FocusCapturePhase phase,
                                                Deadline deadline, CancelToken cancel) {
    WorkerState state{.pin = std::move(pin), .phase = phase, .deadline = deadline, .cancel = cancel};
    for (const auto delay : retryDelays) {
        Duration pause = delay;
        MainLoop* loop = nullptr;
        {
            auto self = capture.lock();
            if (!self) co_return std::unexpected(CaptureFailure::targetChanged);
            if (state.deadline) {
                const Duration remaining = *state.deadline - self->now();
                if (remaining <= Duration::zero()) co_return self->exhausted(state);
                pause = std::min(pause, remaining);
            }
            loop = &self->ports_.loop;
        }
        if (pause > Duration::zero()) {
            const bool slept = co_await sleepFor(*loop, pause, cancel);
            if (!slept) co_return std::unexpected(CaptureFailure::targetChanged);
        }
        auto self = capture.lock();
        if (!self) co_return std::unexpected(CaptureFailure::targetChanged);
        auto step = self->attemptStep(state);
        if (auto* result = std::get_if<CaptureResult>(&step)) co_return std::move(*result);
        if (std::get<StepOutcome>(step) == StepOutcome::exhausted) co_return self->exhausted(state);
    }
    auto self = capture.lock();
    if (!self) co_return std::unexpected(CaptureFailure::targetChanged);
    co_return self->exhausted(state);
}

std::variant<FocusCapture::StepOutcome, CaptureResult> FocusCapture::attemptStep(WorkerState& state) {
    const auto& pin = state.pin;
    const auto changed = CaptureResult(std::unexpected(CaptureFailure::targetChanged));
    if (state.cancel.isCancelled()) return changed;
    // Running out of time is not a sign that the target moved.
    if (outOfTime(state.deadline)) return StepOutcome::exhausted;
    if (!hostUnchanged(pin.pid, pin.processBirth, pin.inputEpoch)) return changed;

    switch (focusedWindowValidation(pin.pid, pin.focusedWindow, state.deadline)) {
        case FocusWindowValidation::changed: return changed;
        case FocusWindowValidation::temporarilyUnavailable: return StepOutcome::nextDelay;
        case FocusWindowValidation::match: break;
    }

    ++state.attempts;
    auto attempt = focusedElementAttempt(pin.pid, state.deadline, state.deadline.has_value());
    state.applicationError = attempt.applicationError;
    state.focusedApplicationError = attempt.focusedApplicationError;
    state.systemWideError = attempt.systemWideError;
    if (!attempt.resolution) return StepOutcome::nextDelay;
    auto host = ports_.workspace.runningApplication(pin.pid);
    if (!host) return StepOutcome::nextDelay;
    if (outOfTime(state.deadline)) return StepOutcome::exhausted;

    const auto& element = attempt.resolution->element;
    auto paste = pasteCapability(element, state.deadline);
    if (!paste) {
        state.partialSeen = true;
        return StepOutcome::nextDelay;
    }
    if (!*paste) {
        auto role = stringAttribute(element, axattr::role, state.deadline);
        if (FocusCandidatePolicy::disposition(role, false) == FocusCandidateDisposition::retryablePartialTree) {
            state.partialSeen = true;
            return StepOutcome::nextDelay;
        }
    }

    auto secure = secureState(element, state.deadline);
    if (!secure) return std::unexpected(CaptureFailure::accessibilityTreeNotReady);
    if (*secure) return std::unexpected(CaptureFailure::secureField);
    paste = pasteCapability(element, state.deadline);
    if (!paste) return std::unexpected(CaptureFailure::accessibilityTreeNotReady);
    if (!*paste) {
        auto role = stringAttribute(element, axattr::role, state.deadline);
        ports_.log.notice("Rejected non-editable AX target host_pid={} owner_pid={} role={}", logPublic(pin.pid),
                          logPublic(attempt.resolution->ownerPID), logPublic(role.value_or("unknown")));
        return std::unexpected(CaptureFailure::notEditable);
    }
    auto range = selectedTextRange(element, state.deadline);
    // A range that could not be read in time must not pass for "no range":
    // delivery would then skip checking that the caret stayed put.
    if (outOfTime(state.deadline)) return std::unexpected(CaptureFailure::accessibilityTreeNotReady);

    const Duration elapsed = now() - pin.pinnedAt;
    FocusTargetSnapshot snapshot{
        .targetID = pin.targetID,
        .pid = host->processIdentifier,
        .bundleIdentifier = host->bundleIdentifier,
        .applicationName = host->localizedName.value_or(std::string(kUnnamedApplication)),
        .captureAttempts = state.attempts,
        .captureElapsed = elapsed,
        .manualAccessibilityRequested = pin.manualAccessibilityRequested,
        .element = element,
        .elementPID = attempt.resolution->ownerPID,
        .selectedRange = range,
        .focusedWindow = pin.focusedWindow,
        .inputEpoch = pin.inputEpoch,
        .processBirth = pin.processBirth,
        .elementMessagingTimeout = state.deadline ? kCapturedElementTimeout : kDefaultTimeout,
    };
    ports_.log.info("AX focus resolved phase={} host_pid={} attempts={} elapsed_ms={} manual_requested={}",
                    logPublic(phaseName(state.phase)), logPublic(pin.pid), logPublic(state.attempts),
                    logPublic(fmt::format("{:f}", toMilliseconds(elapsed))),
                    logPublic(boolText(pin.manualAccessibilityRequested)));
    return CaptureResult(std::move(snapshot));
}

CaptureResult FocusCapture::exhausted(const WorkerState& state) {
    const auto& pin = state.pin;
    const Duration elapsed = now() - pin.pinnedAt;
    ports_.log.error(
        "AX focus unresolved phase={} host_pid={} attempts={} elapsed_ms={} app_error={} focused_app_error={} "
        "system_error={} manual_requested={} manual_error={}",
        logPublic(phaseName(state.phase)), logPublic(pin.pid), logPublic(state.attempts),
        logPublic(fmt::format("{:f}", toMilliseconds(elapsed))), logPublic(state.applicationError),
        logPublic(state.focusedApplicationError), logPublic(state.systemWideError),
        logPublic(boolText(pin.manualAccessibilityRequested)), logPublic(pin.manualAccessibilityError));
    // A host that accepted the request for its full tree and still reports
    // no focus is building that tree; anything else found no focus at all.
    const bool lazyTree = pin.manualAccessibilityRequested && pin.manualAccessibilityError == axerror::success &&
                          isLazyTreeError(state.applicationError) && isLazyTreeError(state.focusedApplicationError) &&
                          isLazyTreeError(state.systemWideError);
    if (state.partialSeen || lazyTree) return std::unexpected(CaptureFailure::accessibilityTreeNotReady);
    return std::unexpected(CaptureFailure::noFocusedElement);
}

}  // namespace murmo
