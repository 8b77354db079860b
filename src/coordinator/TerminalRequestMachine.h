#pragma once

// How an operation's end is told to the engine: exactly once, as a release
// (the recording is complete, produce the result) or a cancel, repeated only
// after a failure. A pure record of the decision and its attempts; the
// coordinator sends what takeSend() hands out and reports failures back.
//
// - The intent moves from none to release and perhaps on to cancel, or from
//   none to cancel; it never returns to release.
// - A cancel overrides a release in flight and starts its own attempts.
// - A series has at most three attempts. A release that fails three times
//   turns into a cancel; a cancel that fails three times starts a new series
//   after a pause, for as long as the operation lives: an operation the
//   engine may still hold is never given up on.
// - Once the engine has finalised the operation by itself, no release is ever
//   sent for it.

#include <chrono>
#include <optional>
#include <variant>

#include "runtime/Clock.h"

namespace murmo {

enum class TerminalIntent { release, cancel };

class TerminalRequestMachine {
public:
    static constexpr int kAttemptsPerSeries = 3;
    // A failed attempt n of a series is retried after n times this.
    static constexpr Duration kRetryStep = std::chrono::milliseconds(200);
    static constexpr Duration kCancelSeriesPause = std::chrono::milliseconds(1500);

    // What must have happened before a release may go out.
    struct SendConditions {
        // The engine has not yet answered the switch of a pending operation
        // to the assistant.
        bool agentResolutionPending = false;
        // The end of the audio stream waits for its acknowledgement.
        bool audioEndPending = false;
    };

    enum class RequestOutcome {
        // Nothing new: a second release, or a release after a cancel.
        unchanged,
        // The first decision, a release.
        released,
        cancelled,
    };

    // Try the same intent again after `delay`.
    struct RetryAfter {
        Duration delay;
    };
    // Three releases failed: the intent is now cancel, to be sent at once.
    struct ReleaseAbandoned {};
    // Three cancels failed: a new series begins after `pause`.
    struct CancelSeriesExhausted {
        Duration pause;
    };
    using FailureAction = std::variant<RetryAfter, ReleaseAbandoned, CancelSeriesExhausted>;

    RequestOutcome request(TerminalIntent intent);
    // The intent to send now, counted as an attempt and in flight; nothing
    // while one is in flight, without an intent, or for a release whose
    // conditions do not hold yet.
    std::optional<TerminalIntent> takeSend(SendConditions conditions);
    // The request in flight failed.
    FailureAction failed();
    // The engine finalised the operation by itself. True when that is also
    // its release (no intent had been taken). Only while the intent is not
    // cancel.
    bool serverFinalized();

    const std::optional<TerminalIntent>& intent() const { return intent_; }
    bool sent() const { return sent_; }
    int attempt() const { return attempt_; }
    bool serverFinalizationObserved() const { return serverFinalizationObserved_; }

private:
    bool releaseMayGo(SendConditions conditions) const;

    std::optional<TerminalIntent> intent_;
    bool sent_ = false;
    int attempt_ = 0;
    bool serverFinalizationObserved_ = false;
};

}  // namespace murmo
