// The bound on the wait after a release: an operation the engine has not
// ended by its deadline is cancelled, and the user told.

#include "coordinator/DesktopCoordinator.h"
#include "coordinator/DictationTimingMetrics.h"

namespace murmo {

void DesktopCoordinator::armProcessingWatchdog(const std::string& operationID) {
    operation_.processingWatchdog.cancel();
    const auto current = now();
    const double recordingSeconds = std::max(0.0, Seconds(current - pressedAt_).count());
    // The deadline is fixed at the first arming; a later one only restarts
    // the timer towards it.
    if (!operation_.processingDeadlineUptime) {
        const Seconds allowance(DictationTimingMetrics::processingWatchdogSecondsFor(recordingSeconds));
        operation_.processingDeadlineUptime = current + std::chrono::duration_cast<Duration>(allowance);
    }
    const Duration remaining =
        std::max<Duration>(*operation_.processingDeadlineUptime - current, std::chrono::milliseconds(1));
    deliveryLog_.notice("Processing watchdog armed purpose={} operation={} recording_seconds={} remaining_seconds={}",
                        logPublic(rawValue(operation_.operationMode)), logHashed(operationID),
                        logPublic(recordingSeconds), logPublic(Seconds(remaining).count()));
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    operation_.processingWatchdog = ports_.loop.after(remaining, [weak, operationID] {
        if (auto self = weak.lock()) self->processingWatchdogFired(operationID);
    });
}

void DesktopCoordinator::processingWatchdogFired(const std::string& operationID) {
    // An operation already being cancelled, or never released, is left alone.
    if (!isCurrentOperation(operationID) || operation_.terminal.intent() != TerminalIntent::release) return;
    const auto mode = operation_.operationMode;
    operation_.pendingFailureMessage =
        mode == OperationMode::agent ? strings().agentCouldNotComplete() : strings().dictationTimedOut();
    finishOperationSound(DictationFeedbackTerminalOutcome::error);
    showOperationFailure(*operation_.pendingFailureMessage, mode);
    requestTerminal(TerminalIntent::cancel, std::nullopt);
}

}  // namespace murmo
