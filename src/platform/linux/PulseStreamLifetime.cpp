#include "platform/linux/PulseStreamLifetime.h"

#include <string>

namespace murmo {

Status waitForStreamReady(const PulseAudioContext& context, PulseAudioContext::Lock& lock, pa_stream* stream,
                          Duration timeout) {
    const bool settled =
        context.waitUntil(lock, [&] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; }, timeout);
    if (settled && pa_stream_get_state(stream) == PA_STREAM_READY) return {};
    return fail(std::string(kPulseAudioErrorDomain), settled ? kPulseAudioOperationFailed : kPulseAudioTimedOut,
                std::string("the stream did not become ready: ") + pa_strerror(pa_context_errno(context.context())));
}

void closeStream(PulseStreamHandle& stream) {
    if (!stream) return;
    pa_stream_set_state_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_read_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_write_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_moved_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_suspended_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_underflow_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_overflow_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_started_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_latency_update_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_buffer_attr_callback(stream.get(), nullptr, nullptr);
    pa_stream_set_event_callback(stream.get(), nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream.get()))) pa_stream_disconnect(stream.get());
    stream.reset();
}

}  // namespace murmo
