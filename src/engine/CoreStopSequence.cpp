#include "engine/CoreStopSequence.h"

#include <signal.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace murmo {

namespace {

constexpr std::array kOutcomes{
    std::pair{CoreStopOutcome::notRunning, std::string_view("notRunning")},
    std::pair{CoreStopOutcome::terminated, std::string_view("terminated")},
    std::pair{CoreStopOutcome::killed, std::string_view("killed")},
    std::pair{CoreStopOutcome::killFailed, std::string_view("killFailed")},
};

// 0 and ESRCH both mean nothing of the target is left running unsignalled.
bool delivered(int result) { return result == 0 || result == ESRCH; }

}  // namespace

std::string_view rawValue(CoreStopOutcome outcome) {
    for (const auto& [value, text] : kOutcomes) {
        if (value == outcome) return text;
    }
    return {};
}

std::optional<CoreStopOutcome> coreStopOutcomeFromRawValue(std::string_view rawValue) {
    for (const auto& [value, text] : kOutcomes) {
        if (text == rawValue) return value;
    }
    return std::nullopt;
}

std::optional<pid_t> CoreStopSequence::groupToSignal(const ChildProcess& child, std::optional<pid_t> knownGroup) {
    if (knownGroup) return knownGroup;
    if (child.currentProcessGroup() == child.pid()) return child.pid();
    return std::nullopt;
}

void CoreStopSequence::sendPoliteSignal(ChildProcess& child, std::optional<pid_t> group) {
    if (group) {
        const int result = child.signalGroup(*group, SIGTERM);
        if (result == 0 || result == ESRCH) return;
    }
    child.signal(SIGTERM);
}

CoreStopOutcome CoreStopSequence::awaitExitOrKill(ChildProcess& child, std::optional<pid_t> group,
                                                  Duration gracePeriod) {
    if (child.waitForExit(std::max<Duration>(gracePeriod, kShortestGracePeriod))) return CoreStopOutcome::terminated;

    auto outcome = CoreStopOutcome::killFailed;
    if (group && delivered(child.signalGroup(*group, SIGKILL))) {
        outcome = CoreStopOutcome::killed;
    } else {
        outcome = delivered(child.signal(SIGKILL)) ? CoreStopOutcome::killed : CoreStopOutcome::killFailed;
    }
    if (!child.waitForExit(kWaitAfterKill)) return CoreStopOutcome::killFailed;
    return outcome;
}

}  // namespace murmo
