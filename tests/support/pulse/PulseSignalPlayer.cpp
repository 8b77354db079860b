#include "support/pulse/PulseSignalPlayer.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/linux/PulseStreamLifetime.h"
#include "support/pulse/PulseTestStream.h"

namespace murmo::testing {

PulseSignalPlayer::PulseSignalPlayer(std::shared_ptr<PulseAudioContext> context, std::vector<float> samples, bool loop)
    : context_(std::move(context)), samples_(std::move(samples)), loop_(loop) {}

Result<std::unique_ptr<PulseSignalPlayer>> PulseSignalPlayer::play(std::shared_ptr<PulseAudioContext> context,
                                                                   std::optional<std::string> sink,
                                                                   std::vector<float> samples, std::uint32_t sampleRate,
                                                                   bool loop) {
    std::unique_ptr<PulseSignalPlayer> player(new PulseSignalPlayer(context, std::move(samples), loop));
    PulseAudioContext::Lock lock(*context);
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, sampleRate, 1};
    player->stream_ = newMonoFloatStream(*context, "murmo-test-signal", sampleRate);
    if (!player->stream_) return fail("MurmoTests", 1, "no playback stream");
    pa_stream_set_write_callback(player->stream_.get(), &PulseSignalPlayer::onWritable, player.get());
    // A quarter second ahead: a busy machine must not starve the feed.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(250'000, &sampleFormat));
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    if (pa_stream_connect_playback(player->stream_.get(), sink ? sink->c_str() : nullptr, &attributes,
                                   PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) < 0) {
        return fail("MurmoTests", 2, "playback did not start");
    }
    if (auto ready = waitForStreamReady(*context, lock, player->stream_.get(), std::chrono::seconds(5)); !ready) {
        return fail(ready.error());
    }
    return player;
}

PulseSignalPlayer::~PulseSignalPlayer() {
    if (!stream_) return;
    PulseAudioContext::Lock lock(*context_);
    closeStream(stream_);
}

void PulseSignalPlayer::onWritable(pa_stream* stream, std::size_t length, void* opaque) {
    auto* self = static_cast<PulseSignalPlayer*>(opaque);
    std::vector<float> chunk;
    chunk.reserve(length / sizeof(float));
    while (chunk.size() < length / sizeof(float) && !self->samples_.empty()) {
        if (self->position_ == self->samples_.size()) {
            if (!self->loop_) break;
            self->position_ = 0;
        }
        const std::size_t take =
            std::min(length / sizeof(float) - chunk.size(), self->samples_.size() - self->position_);
        chunk.insert(chunk.end(), self->samples_.begin() + static_cast<std::ptrdiff_t>(self->position_),
                     self->samples_.begin() + static_cast<std::ptrdiff_t>(self->position_ + take));
        self->position_ += take;
    }
    if (!self->loop_ && self->position_ == self->samples_.size()) self->allWritten_ = true;
    if (!chunk.empty())
        pa_stream_write(stream, chunk.data(), chunk.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
}

}  // namespace murmo::testing
