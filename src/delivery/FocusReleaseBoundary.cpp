#include "delivery/FocusReleaseBoundary.h"

namespace murmo {

FocusReleaseBoundary FocusReleaseBoundary::take(Workspace& workspace, InputActivity& input) {
    FocusReleaseBoundary boundary;
    if (auto frontmost = workspace.frontmostApplication()) boundary.frontmostPID = frontmost->processIdentifier;
    boundary.inputEpoch = FocusInputEpoch::read(input);
    return boundary;
}

bool FocusReleaseBoundary::stillMatches(Workspace& workspace, InputActivity& input) const {
    if (!frontmostPID) return false;
    auto frontmost = workspace.frontmostApplication();
    if (!frontmost || frontmost->processIdentifier != *frontmostPID) return false;
    return FocusInputEpoch::read(input) == inputEpoch;
}

}  // namespace murmo
