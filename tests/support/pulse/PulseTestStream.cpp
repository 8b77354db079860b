#include "support/pulse/PulseTestStream.h"

namespace murmo::testing {

PulseStreamHandle newMonoFloatStream(PulseAudioContext& context, const char* name, std::uint32_t sampleRate) {
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, sampleRate, 1};
    PulseStreamHandle stream(pa_stream_new(context.context(), name, &sampleFormat, nullptr));
    if (stream) {
        pa_stream_set_state_callback(
            stream.get(), [](pa_stream*, void* c) { static_cast<PulseAudioContext*>(c)->signal(); }, &context);
    }
    return stream;
}

}  // namespace murmo::testing
