#pragma once

#include <optional>

#include "StandInEngine.h"

namespace murmo {

// The stand-in's built-in answer for every endpoint the application calls,
// well-formed but without any recognition behind it; nothing for an unknown
// method and path.
std::optional<StandInReply> standInDefaultReply(const StandInRequest& request);

// The settings the stand-in reports: hotkey on, the Fn/Globe shortcut, live
// dictation and agent mode off.
std::string standInDefaultSettings();

}  // namespace murmo
