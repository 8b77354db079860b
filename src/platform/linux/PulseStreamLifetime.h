#pragma once

// The two ends of a stream's life that every user of one repeats: waiting
// (bounded) until the server has set it up, and letting go of it so that no
// callback of it runs any more. Both with the loop locked.

#include "platform/linux/PulseAudioContext.h"

namespace murmo {

// Off the loop thread, with `lock` held, after pa_stream_connect_*: waits
// until the stream is ready; fails when it failed or `timeout` passed.
// The stream's state callback must call context.signal().
Status waitForStreamReady(const PulseAudioContext& context, PulseAudioContext::Lock& lock, pa_stream* stream,
                          Duration timeout);

// Clears the stream's callbacks, disconnects it when it is still connected
// and releases it. Nothing of it runs afterwards. Null: nothing to do.
void closeStream(PulseStreamHandle& stream);

}  // namespace murmo
