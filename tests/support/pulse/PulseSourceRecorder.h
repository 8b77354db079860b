#pragma once

// Records a source of the test session's sound server (the speakers'
// monitor, the microphone) into memory as mono float samples, from the test
// process itself, to check what was played or heard, how loud, how many
// times and when it arrived. Stops when it goes.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/PulseAudioContext.h"

namespace murmo::testing {

class PulseSourceRecorder {
public:
    // Waits until the stream is ready. Fragments are 5 ms, so arrival times
    // are close to when the server rendered the sound.
    static Result<std::unique_ptr<PulseSourceRecorder>> record(std::shared_ptr<PulseAudioContext> context,
                                                               const std::string& source, std::uint32_t sampleRate);
    ~PulseSourceRecorder();
    PulseSourceRecorder(const PulseSourceRecorder&) = delete;
    PulseSourceRecorder& operator=(const PulseSourceRecorder&) = delete;

    std::uint32_t sampleRate() const { return sampleRate_; }
    // 10 ms: the window loudness is measured over.
    std::size_t loudnessWindow() const { return sampleRate_ / 100; }

    // Everything recorded so far.
    std::vector<float> samples() const;
    std::size_t sampleCount() const;

    // Waits until `count` more samples than now have arrived: an idle null
    // sink renders late at first, so tests wait for the flow before playing.
    bool waitForSamples(std::size_t count, std::chrono::milliseconds timeout);
    // Waits until a loudness window from sample `from` on is louder than
    // `threshold` RMS; its first sample.
    std::optional<std::size_t> waitForSound(std::size_t from, double threshold, std::chrono::milliseconds timeout);
    // When the sample arrived, as the read callback saw it (now if it has not).
    std::chrono::steady_clock::time_point arrivalOf(std::size_t sample) const;

private:
    PulseSourceRecorder(std::shared_ptr<PulseAudioContext> context, std::uint32_t sampleRate)
        : context_(std::move(context)), sampleRate_(sampleRate) {}
    static void onReadable(pa_stream* stream, std::size_t length, void* self);
    void append(const void* data, std::size_t bytes, std::chrono::steady_clock::time_point arrival);

    std::shared_ptr<PulseAudioContext> context_;
    const std::uint32_t sampleRate_;
    PulseStreamHandle stream_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<float> samples_;
    // (end of a fragment, when it arrived), in arrival order.
    std::vector<std::pair<std::size_t, std::chrono::steady_clock::time_point>> arrivals_;
};

}  // namespace murmo::testing
