#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string_view>

#include "engine/ChildProcess.h"

namespace murmo {

// How a stop of the engine ended.
enum class CoreStopOutcome {
    // There was no engine to stop.
    notRunning,
    // The engine ended within the grace period after SIGTERM.
    terminated,
    // SIGKILL was sent and the engine ended within the wait after it.
    killed,
    // The engine still ran after that wait, or SIGKILL could not be delivered.
    killFailed,
};

std::string_view rawValue(CoreStopOutcome outcome);
std::optional<CoreStopOutcome> coreStopOutcomeFromRawValue(std::string_view rawValue);

// The signalling steps of stopping the engine: SIGTERM to its whole process
// group, a grace period, then SIGKILL. Signals go to the group so that they
// reach every process the engine started in it, not only the engine.
struct CoreStopSequence {
    static constexpr std::chrono::milliseconds kShortestGracePeriod{100};
    static constexpr std::chrono::milliseconds kWaitAfterKill{750};

    // The group to signal: the one known from the launch, else the child's
    // own pid when it still leads its group, else none.
    static std::optional<pid_t> groupToSignal(const ChildProcess& child, std::optional<pid_t> knownGroup);

    // SIGTERM to the group; to the child alone too when the group send fails
    // for another reason than the group being gone, or alone without a group.
    // Quick: safe on the main thread.
    static void sendPoliteSignal(ChildProcess& child, std::optional<pid_t> group);

    // Waits out the grace period (at least kShortestGracePeriod), then sends
    // SIGKILL and waits up to kWaitAfterKill. Blocks: background thread only.
    static CoreStopOutcome awaitExitOrKill(ChildProcess& child, std::optional<pid_t> group, Duration gracePeriod);
};

}  // namespace murmo
