#include "platform/linux/PulseAudioPlayback.h"

#include <algorithm>

#include "platform/linux/PulseAudioContext.h"

namespace murmo {

namespace {

// Short enough that a cue starts within a few milliseconds of its request and
// a stop leaves little in flight; long enough not to underrun under load.
constexpr pa_usec_t kTargetLatency = 50 * PA_USEC_PER_MSEC;

}  // namespace

PulseAudioPlayback::PulseAudioPlayback(std::shared_ptr<PulseAudioContext> context, FinishedCallback onFinished)
    : context_(std::move(context)), onFinished_(std::move(onFinished)) {}

Result<std::unique_ptr<PulseAudioPlayback>> PulseAudioPlayback::open(std::shared_ptr<PulseAudioContext> context,
                                                                     const std::optional<std::string>& sinkName,
                                                                     const pa_sample_spec& format,
                                                                     FinishedCallback onFinished) {
    if (!context) return fail(std::string(kPulseAudioPlaybackErrorDomain), 1, "no sound server connection");
    if (!pa_sample_spec_valid(&format)) {
        return fail(std::string(kPulseAudioPlaybackErrorDomain), 2, "the sound's format cannot be played");
    }
    std::unique_ptr<PulseAudioPlayback> playback(new PulseAudioPlayback(context, std::move(onFinished)));
    PulseAudioContext::Lock lock(*context);
    playback->stream_.reset(pa_stream_new(context->context(), "Murmo playback", &format, nullptr));
    if (!playback->stream_) {
        return fail(
            std::string(kPulseAudioPlaybackErrorDomain), 3,
            std::string("cannot create a playback stream: ") + pa_strerror(pa_context_errno(context->context())));
    }
    pa_stream_set_state_callback(playback->stream_.get(), onStateChanged, playback.get());
    pa_stream_set_write_callback(playback->stream_.get(), onWritable, playback.get());
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatency, &format));
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(playback->stream_.get(), sinkName ? sinkName->c_str() : nullptr, &attributes, flags,
                                   nullptr, nullptr) < 0) {
        const std::string reason = pa_strerror(pa_context_errno(context->context()));
        playback->release();
        return fail(std::string(kPulseAudioPlaybackErrorDomain), 4, "cannot connect a playback stream: " + reason);
    }
    return playback;
}

PulseAudioPlayback::~PulseAudioPlayback() { stop(); }

void PulseAudioPlayback::append(std::span<const std::byte> bytes) {
    PulseAudioContext::Lock lock(*context_);
    if (!stream_ || finishing_) return;
    queued_.insert(queued_.end(), bytes.begin(), bytes.end());
    if (pa_stream_get_state(stream_.get()) == PA_STREAM_READY) writeQueued(pa_stream_writable_size(stream_.get()));
}

void PulseAudioPlayback::finish() {
    PulseAudioContext::Lock lock(*context_);
    if (!stream_ || finishing_) return;
    finishing_ = true;
    drainWhenWritten();
}

void PulseAudioPlayback::stop() {
    PulseAudioContext::Lock lock(*context_);
    release();
    finished_.store(true);
}

void PulseAudioPlayback::writeQueued(std::size_t writable) {
    if (writable == static_cast<std::size_t>(-1)) return;
    const std::size_t frame = pa_frame_size(pa_stream_get_sample_spec(stream_.get()));
    std::size_t bytes = std::min(writable, queued_.size() - queuedOffset_);
    bytes -= bytes % frame;
    if (bytes > 0) {
        pa_stream_write(stream_.get(), queued_.data() + queuedOffset_, bytes, nullptr, 0, PA_SEEK_RELATIVE);
        queuedOffset_ += bytes;
    }
    if (queuedOffset_ == queued_.size()) {
        queued_.clear();
        queuedOffset_ = 0;
    }
    drainWhenWritten();
}

void PulseAudioPlayback::drainWhenWritten() {
    if (!finishing_ || drain_ || !queued_.empty() || pa_stream_get_state(stream_.get()) != PA_STREAM_READY) return;
    // Draining also starts a sound shorter than the start threshold.
    drain_.reset(pa_stream_drain(stream_.get(), onDrained, this));
    if (!drain_) markFinished();
}

void PulseAudioPlayback::markFinished() {
    if (finished_.exchange(true)) return;
    if (onFinished_) onFinished_();
}

void PulseAudioPlayback::release() {
    if (drain_) {
        pa_operation_cancel(drain_.get());
        drain_.reset();
    }
    if (!stream_) return;
    pa_stream_set_state_callback(stream_.get(), nullptr, nullptr);
    pa_stream_set_write_callback(stream_.get(), nullptr, nullptr);
    // Disconnecting removes the stream from the sink with whatever it still
    // buffers: the sound ends here.
    pa_stream_disconnect(stream_.get());
    stream_.reset();
}

void PulseAudioPlayback::onStateChanged(pa_stream* stream, void* self) {
    auto& playback = *static_cast<PulseAudioPlayback*>(self);
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY: playback.writeQueued(pa_stream_writable_size(stream)); break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED: playback.markFinished(); break;
        default: break;
    }
}

void PulseAudioPlayback::onWritable(pa_stream*, std::size_t bytes, void* self) {
    static_cast<PulseAudioPlayback*>(self)->writeQueued(bytes);
}

void PulseAudioPlayback::onDrained(pa_stream*, int, void* self) {
    auto& playback = *static_cast<PulseAudioPlayback*>(self);
    playback.drain_.reset();
    playback.markFinished();
}

}  // namespace murmo
