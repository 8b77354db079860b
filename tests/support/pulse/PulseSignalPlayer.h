#pragma once

// Plays mono float samples on a sink of the test session's sound server,
// from the test process itself: a voice fed to the microphone (sink
// "mic_mix"), a cue on the speakers. Looping, it never runs dry, so what the
// microphone hears stays continuous. Stops when it goes.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/PulseAudioContext.h"

namespace murmo::testing {

class PulseSignalPlayer {
public:
    // `sink` absent: the default sink. Waits until the stream is ready.
    static Result<std::unique_ptr<PulseSignalPlayer>> play(std::shared_ptr<PulseAudioContext> context,
                                                           std::optional<std::string> sink, std::vector<float> samples,
                                                           std::uint32_t sampleRate, bool loop);
    ~PulseSignalPlayer();
    PulseSignalPlayer(const PulseSignalPlayer&) = delete;
    PulseSignalPlayer& operator=(const PulseSignalPlayer&) = delete;

    // Every sample was handed to the server (not looping).
    bool allWritten() const { return allWritten_.load(); }

private:
    PulseSignalPlayer(std::shared_ptr<PulseAudioContext> context, std::vector<float> samples, bool loop);
    static void onWritable(pa_stream* stream, std::size_t length, void* self);

    std::shared_ptr<PulseAudioContext> context_;
    std::vector<float> samples_;
    bool loop_;
    std::size_t position_ = 0;
    std::atomic<bool> allWritten_{false};
    PulseStreamHandle stream_;
};

}  // namespace murmo::testing
