#pragma once

// Finds the focused text element of a pinned host application, decides
// whether it may receive text, and keeps retrying on fixed schedules while
// the host's accessibility tree is still being built. It also holds the
// element checks (paste capability, secure state, owner acceptance, window
// identity, process birth) that delivery repeats before it writes.
//
// Reads take an optional deadline. With one, a
// read is not made once less than 1 ms is left, each message is capped at
// min(time left, 25 ms), and a value that arrives after the deadline is
// dropped. Without one, the element's own messaging time-out applies.

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/CaptureFailure.h"
#include "delivery/FocusTargetSnapshot.h"
#include "platform/Accessibility.h"
#include "platform/InputActivity.h"
#include "platform/ProcessInfo.h"
#include "platform/Workspace.h"
#include "runtime/CancelToken.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"
#include "runtime/Task.h"

namespace murmo {

using CaptureResult = std::expected<FocusTargetSnapshot, CaptureFailure>;

enum class FocusCapturePhase { activation, finalization };
std::string_view phaseName(FocusCapturePhase phase);

enum class FocusWindowValidation { match, temporarilyUnavailable, changed };

// One focus attempt: what it found, and the error of each of its three
// sources (application, system focused application, system-wide).
struct FocusAttempt {
    std::optional<FocusedElementResolution> resolution{};
    AXError applicationError = axerror::failure;
    AXError focusedApplicationError = axerror::failure;
    AXError systemWideError = axerror::failure;
};

// The platform ports capture reads, and where it logs.
struct FocusCapturePorts {
    MainLoop& loop;
    Accessibility& accessibility;
    Workspace& workspace;
    ProcessInfo& processInfo;
    InputActivity& inputActivity;
    Logger log;
};

class FocusCapture : public std::enable_shared_from_this<FocusCapture> {
public:
    using Deadline = std::optional<MonotonicTime>;
    static constexpr AXMessagingTimeout kDefaultTimeout = kAXDefaultMessagingTimeoutSeconds;

    explicit FocusCapture(FocusCapturePorts ports);

    // The capture worker. Walks `retryDelays`, checking before
    // each attempt that the pinned host, its process, the user's input and
    // its focused window are unchanged. Cancellation, or the owner going
    // away, ends it as targetChanged. The worker never asks for the full
    // tree; it only reads whether the pin did.
    static Task<CaptureResult> finishCapture(std::weak_ptr<FocusCapture> capture, FocusHostPin pin,
                                             std::vector<Duration> retryDelays, FocusCapturePhase phase,
                                             Deadline deadline, CancelToken cancel);

    // One attempt to find the focused element of the frontmost application
    // `pid`. `applicationElementTimeout` applies to the application element
    // when there is no deadline.
    FocusAttempt focusedElementAttempt(std::int32_t applicationPID, Deadline deadline, bool applicationScopedOnly,
                                       AXMessagingTimeout applicationElementTimeout = kDefaultTimeout);
    // Accepts a found element only while `hostPID` is frontmost and the
    // element's owner belongs to the host's family; logs rejections.
    std::optional<FocusedElementResolution> validatedResolution(const AXElement& element, std::int32_t hostPID,
                                                                std::string_view source);
    // Whether `ancestorPID` is among the first 16 ancestors of `childPID`.
    bool isDescendantProcess(std::int32_t childPID, std::int32_t ancestorPID);

    AXResult<AXElement> elementAttribute(const AXElement& element, std::string_view attribute, Deadline deadline,
                                         AXMessagingTimeout elementTimeout = kDefaultTimeout);
    std::optional<std::string> stringAttribute(const AXElement& element, std::string_view attribute, Deadline deadline,
                                               AXMessagingTimeout elementTimeout = kDefaultTimeout);
    std::optional<AXTextRange> selectedTextRange(const AXElement& element, Deadline deadline,
                                                 AXMessagingTimeout elementTimeout = kDefaultTimeout);
    // Settability of any attribute; an error, or a deadline passed during the
    // call, reads as false.
    bool isSelectedTextSettable(const AXElement& element, std::string_view attribute, Deadline deadline,
                                AXMessagingTimeout elementTimeout = kDefaultTimeout);
    // Unknown (absent) when the deadline passed before it could be decided.
    std::optional<bool> pasteCapability(const AXElement& element, Deadline deadline,
                                        AXMessagingTimeout elementTimeout = kDefaultTimeout);
    std::optional<bool> secureState(const AXElement& element, Deadline deadline,
                                    AXMessagingTimeout elementTimeout = kDefaultTimeout);
    FocusWindowValidation focusedWindowValidation(std::int32_t pid, const std::optional<AXElement>& originalWindow,
                                                  Deadline deadline);
    bool processBirthStillMatches(std::int32_t pid, const std::optional<FocusProcessBirthIdentity>& expected);
    // Still trusted, `pid` still frontmost, the same process, and no user
    // input since `epoch`: what every check before a write starts with.
    bool hostUnchanged(std::int32_t pid, const std::optional<FocusProcessBirthIdentity>& birth,
                       const FocusInputEpoch& epoch);
    // Whether the element sits inside a web area (checked up to 32 levels).
    bool isWebBacked(const AXElement& element, AXMessagingTimeout elementTimeout = kDefaultTimeout);

    MonotonicTime now() const;
    bool deadlinePassed(Deadline deadline) const { return deadline && now() >= *deadline; }
    // Less time left than any read needs: what the reads would have said is
    // unknown, never "no".
    bool outOfTime(Deadline deadline) const;
    const FocusCapturePorts& ports() const { return ports_; }

private:
    enum class StepOutcome { nextDelay, exhausted };
    struct WorkerState;

    // The messaging time-out for one read, or none when the deadline leaves
    // no time for it.
    std::optional<AXMessagingTimeout> readTimeout(Deadline deadline, AXMessagingTimeout elementTimeout) const;
    AXResult<AXAttributeValue> copyValue(const AXElement& element, std::string_view attribute, Deadline deadline,
                                         AXMessagingTimeout elementTimeout);
    std::optional<FocusedElementResolution> systemFocusedApplicationSource(std::int32_t hostPID, Deadline deadline,
                                                                           FocusAttempt& attempt);

    // One pass of the worker after its pause: a result ends the worker.
    std::variant<StepOutcome, CaptureResult> attemptStep(WorkerState& state);
    CaptureResult exhausted(const WorkerState& state);

    FocusCapturePorts ports_;
};

}  // namespace murmo
