#include "support/pulse/PulseSourceRecorder.h"

#include <chrono>
#include <utility>

#include "platform/linux/PulseStreamLifetime.h"
#include "support/pulse/PulseTestStream.h"

namespace murmo::testing {

Result<std::unique_ptr<PulseSourceRecorder>> PulseSourceRecorder::record(std::shared_ptr<PulseAudioContext> context,
                                                                         const std::string& source,
                                                                         std::uint32_t sampleRate) {
    std::unique_ptr<PulseSourceRecorder> recorder(new PulseSourceRecorder(context));
    PulseAudioContext::Lock lock(*context);
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, sampleRate, 1};
    recorder->stream_ = newMonoFloatStream(*context, "murmo-test-recorder", sampleRate);
    if (!recorder->stream_) return fail("MurmoTests", 1, "no record stream");
    pa_stream_set_read_callback(recorder->stream_.get(), &PulseSourceRecorder::onReadable, recorder.get());
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(20'000, &sampleFormat));
    if (pa_stream_connect_record(recorder->stream_.get(), source.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
        return fail("MurmoTests", 2, "recording did not start");
    }
    if (auto ready = waitForStreamReady(*context, lock, recorder->stream_.get(), std::chrono::seconds(5)); !ready) {
        return fail(ready.error());
    }
    return recorder;
}

PulseSourceRecorder::~PulseSourceRecorder() {
    if (!stream_) return;
    PulseAudioContext::Lock lock(*context_);
    closeStream(stream_);
}

std::vector<float> PulseSourceRecorder::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

std::size_t PulseSourceRecorder::sampleCount() const {
    std::lock_guard lock(mutex_);
    return samples_.size();
}

void PulseSourceRecorder::onReadable(pa_stream* stream, std::size_t, void* opaque) {
    auto* self = static_cast<PulseSourceRecorder*>(opaque);
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t length = 0;
        if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) return;
        {
            std::lock_guard lock(self->mutex_);
            if (data) {
                const auto* samples = static_cast<const float*>(data);
                self->samples_.insert(self->samples_.end(), samples, samples + length / sizeof(float));
            } else {
                // A hole is silence of its length.
                self->samples_.resize(self->samples_.size() + length / sizeof(float), 0.0f);
            }
        }
        pa_stream_drop(stream);
    }
}

}  // namespace murmo::testing
