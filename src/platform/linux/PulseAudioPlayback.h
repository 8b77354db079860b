#pragma once

// One playback stream on the shared sound-server connection, fed with
// interleaved samples from any thread but the connection's loop thread and
// drained when the feeder says the sound is complete. Cues hand it a whole
// sound at once; speech hands it pieces as they are synthesised.
//
// The stream is connected at once and written as the server asks for data,
// so a long sound never sits in the server's buffer whole. It plays into the
// sink named at opening (the playback target's, or the default).

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/PulseAudioHandles.h"
#include "runtime/Error.h"

namespace murmo {

class PulseAudioContext;

inline constexpr std::string_view kPulseAudioPlaybackErrorDomain = "MurmoPulseAudioPlayback";

class PulseAudioPlayback {
public:
    // Runs once on the connection's loop thread, with its lock held, when
    // everything appended before finish() has been played, or when the
    // stream fails (the sink vanished, the connection broke). It must not call
    // back into the playback.
    using FinishedCallback = std::function<void()>;

    // `sinkName` absent: the server's default sink. Fails when the stream
    // cannot be created or connected (invalid format, no connection).
    static Result<std::unique_ptr<PulseAudioPlayback>> open(std::shared_ptr<PulseAudioContext> context,
                                                            const std::optional<std::string>& sinkName,
                                                            const pa_sample_spec& format, FinishedCallback onFinished);
    // stop(). Never on the loop thread.
    ~PulseAudioPlayback();
    PulseAudioPlayback(const PulseAudioPlayback&) = delete;
    PulseAudioPlayback& operator=(const PulseAudioPlayback&) = delete;

    // Queues whole frames of the opening format. Ignored after finish() or stop().
    void append(std::span<const std::byte> bytes);
    // No more audio: the stream drains once the queue is written.
    void finish();
    // Drops what is queued or buffered, so the sound ends now, and
    // disconnects; onFinished does not run after this returns.
    void stop();
    // Drained, failed or stopped. Any thread.
    bool isFinished() const { return finished_.load(); }

private:
    PulseAudioPlayback(std::shared_ptr<PulseAudioContext> context, FinishedCallback onFinished);

    // With the loop locked:
    void writeQueued(std::size_t writable);
    void drainWhenWritten();
    void markFinished();
    void release();

    static void onStateChanged(pa_stream* stream, void* self);
    static void onWritable(pa_stream* stream, std::size_t bytes, void* self);
    static void onDrained(pa_stream* stream, int success, void* self);

    std::shared_ptr<PulseAudioContext> context_;
    FinishedCallback onFinished_;
    // Guarded by the loop lock:
    PulseStreamHandle stream_;
    PulseOperationHandle drain_;
    std::vector<std::byte> queued_;
    std::size_t queuedOffset_ = 0;
    bool finishing_ = false;
    std::atomic<bool> finished_{false};
};

}  // namespace murmo
