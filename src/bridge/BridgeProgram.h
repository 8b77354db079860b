#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "bridge/BridgeResponse.h"
#include "bridge/BridgeRuntime.h"
#include "bridge/ByteStream.h"

namespace murmo::bridge {

// Answers one input line: a refused line gets a null id, an accepted one
// whatever the runtime answers. `exceedsLimit` marks a line that was too long
// to be kept.
Envelope respondToLine(BridgeRuntime& runtime, std::string_view line, bool exceedsLimit = false);

// Writes the envelope as one line: the JSON bytes, then the line feed, as two
// writes. False when the output is gone.
bool writeResponse(OutputSink& output, const Envelope& envelope);

// The bridge program: checks its arguments, then answers every line of the
// input (only the first in once-mode) until the input ends. The runtime is
// made once, after the arguments were accepted. Returns the exit status,
// which is always 0: every failure is reported on the output.
int runBridgeProgram(std::span<const std::string> arguments, InputSource& input, OutputSink& output,
                     const std::function<std::unique_ptr<BridgeRuntime>()>& makeRuntime);

}  // namespace murmo::bridge
