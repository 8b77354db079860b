#include "delivery/FocusTargetSnapshot.h"

namespace murmo {

FocusInputEpoch FocusInputEpoch::read(InputActivity& input) {
    return FocusInputEpoch{.keyDown = input.eventCount(InputEventType::keyDown),
                           .leftMouseDown = input.eventCount(InputEventType::leftMouseDown),
                           .rightMouseDown = input.eventCount(InputEventType::rightMouseDown),
                           .otherMouseDown = input.eventCount(InputEventType::otherMouseDown)};
}

std::optional<FocusProcessBirthIdentity> FocusProcessBirthIdentity::read(ProcessInfo& processes, std::int32_t pid) {
    if (pid < 2) return std::nullopt;
    auto record = processes.processRecord(pid);
    if (!record) return std::nullopt;
    return FocusProcessBirthIdentity{.seconds = record->startSeconds, .microseconds = record->startMicroseconds};
}

}  // namespace murmo
