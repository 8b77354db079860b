#include "coordinator/TerminalRequestMachine.h"

namespace murmo {

TerminalRequestMachine::RequestOutcome TerminalRequestMachine::request(TerminalIntent intent) {
    if (intent == TerminalIntent::release) {
        if (intent_) return RequestOutcome::unchanged;
        intent_ = TerminalIntent::release;
        return RequestOutcome::released;
    }
    // A second cancel keeps the first one's attempts.
    if (intent_ == TerminalIntent::release) {
        sent_ = false;
        attempt_ = 0;
    }
    intent_ = TerminalIntent::cancel;
    return RequestOutcome::cancelled;
}

bool TerminalRequestMachine::releaseMayGo(SendConditions conditions) const {
    // The engine's own finalisation already released the operation; a
    // failure of the release that was in flight then must not send another.
    return !serverFinalizationObserved_ && !conditions.agentResolutionPending && !conditions.audioEndPending;
}

std::optional<TerminalIntent> TerminalRequestMachine::takeSend(SendConditions conditions) {
    if (sent_ || !intent_) return std::nullopt;
    if (*intent_ == TerminalIntent::release && !releaseMayGo(conditions)) return std::nullopt;
    sent_ = true;
    ++attempt_;
    return intent_;
}

TerminalRequestMachine::FailureAction TerminalRequestMachine::failed() {
    sent_ = false;
    if (attempt_ < kAttemptsPerSeries) return RetryAfter{attempt_ * kRetryStep};
    attempt_ = 0;
    if (intent_ == TerminalIntent::release) {
        intent_ = TerminalIntent::cancel;
        return ReleaseAbandoned{};
    }
    return CancelSeriesExhausted{kCancelSeriesPause};
}

bool TerminalRequestMachine::serverFinalized() {
    const bool releasesNow = !intent_;
    if (releasesNow) intent_ = TerminalIntent::release;
    serverFinalizationObserved_ = true;
    sent_ = true;
    return releasesNow;
}

}  // namespace murmo
