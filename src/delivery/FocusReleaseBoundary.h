#pragma once

#include <cstdint>
#include <optional>

#include "delivery/FocusTargetSnapshot.h"
#include "platform/InputActivity.h"
#include "platform/Workspace.h"

namespace murmo {

// The frontmost application and the input counters at key release: whether
// the user has since switched away, typed or clicked.
struct FocusReleaseBoundary {
    // Absent when no application was frontmost.
    std::optional<std::int32_t> frontmostPID{};
    FocusInputEpoch inputEpoch{};

    static FocusReleaseBoundary take(Workspace& workspace, InputActivity& input);
    // Re-reads both now. Never true for a boundary taken with no frontmost
    // application: there was nothing to stay on.
    bool stillMatches(Workspace& workspace, InputActivity& input) const;
};

}  // namespace murmo
