#pragma once

// A mono 32-bit float stream for the test players and recorders, whose state
// changes wake the context's waits (waitForStreamReady). With the loop locked.

#include <cstdint>

#include "platform/linux/PulseAudioContext.h"

namespace murmo::testing {

// Null when libpulse refused it.
PulseStreamHandle newMonoFloatStream(PulseAudioContext& context, const char* name, std::uint32_t sampleRate);

}  // namespace murmo::testing
