#include "support/pulse/PulseSourceRecorder.h"

#include <algorithm>
#include <span>

#include "platform/linux/PulseStreamLifetime.h"
#include "support/pulse/AudioSignals.h"
#include "support/pulse/PulseTestStream.h"

namespace murmo::testing {

Result<std::unique_ptr<PulseSourceRecorder>> PulseSourceRecorder::record(std::shared_ptr<PulseAudioContext> context,
                                                                         const std::string& source,
                                                                         std::uint32_t sampleRate) {
    std::unique_ptr<PulseSourceRecorder> recorder(new PulseSourceRecorder(context, sampleRate));
    PulseAudioContext::Lock lock(*context);
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, sampleRate, 1};
    recorder->stream_ = newMonoFloatStream(*context, "murmo-test-recorder", sampleRate);
    if (!recorder->stream_) return fail("MurmoTests", 1, "no record stream");
    pa_stream_set_read_callback(recorder->stream_.get(), &PulseSourceRecorder::onReadable, recorder.get());
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(5 * PA_USEC_PER_MSEC, &sampleFormat));
    if (pa_stream_connect_record(recorder->stream_.get(), source.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
        return fail("MurmoTests", 2, "recording " + source + " did not start");
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

bool PulseSourceRecorder::waitForSamples(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const std::size_t target = samples_.size() + count;
    return arrived_.wait_for(lock, timeout, [&] { return samples_.size() >= target; });
}

std::optional<std::size_t> PulseSourceRecorder::waitForSound(std::size_t from, double threshold,
                                                             std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    std::optional<std::size_t> found;
    arrived_.wait_for(lock, timeout, [&] {
        found = firstLoudWindow(samples_, from, threshold, loudnessWindow());
        return found.has_value();
    });
    return found;
}

std::chrono::steady_clock::time_point PulseSourceRecorder::arrivalOf(std::size_t sample) const {
    std::lock_guard lock(mutex_);
    const auto fragment =
        std::ranges::upper_bound(arrivals_, sample, {}, [](const auto& entry) { return entry.first; });
    return fragment == arrivals_.end() ? std::chrono::steady_clock::now() : fragment->second;
}

void PulseSourceRecorder::append(const void* data, std::size_t bytes, std::chrono::steady_clock::time_point arrival) {
    std::lock_guard lock(mutex_);
    const std::size_t count = bytes / sizeof(float);
    if (data) {
        const auto* samples = static_cast<const float*>(data);
        samples_.insert(samples_.end(), samples, samples + count);
    } else {
        // A hole is silence of its length.
        samples_.resize(samples_.size() + count, 0.0f);
    }
    arrivals_.emplace_back(samples_.size(), arrival);
}

void PulseSourceRecorder::onReadable(pa_stream* stream, std::size_t, void* opaque) {
    auto* self = static_cast<PulseSourceRecorder*>(opaque);
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        std::size_t length = 0;
        if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) break;
        self->append(data, length, std::chrono::steady_clock::now());
        pa_stream_drop(stream);
    }
    self->arrived_.notify_all();
}

}  // namespace murmo::testing
