#pragma once

// Records a source of the test session's sound server (the speakers'
// monitor, the microphone) into memory as mono float samples, from the test
// process itself, to check what was played or heard. Stops when it goes.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/PulseAudioContext.h"

namespace murmo::testing {

class PulseSourceRecorder {
public:
    // Waits until the stream is ready.
    static Result<std::unique_ptr<PulseSourceRecorder>> record(std::shared_ptr<PulseAudioContext> context,
                                                              const std::string& source, std::uint32_t sampleRate);
    ~PulseSourceRecorder();
    PulseSourceRecorder(const PulseSourceRecorder&) = delete;
    PulseSourceRecorder& operator=(const PulseSourceRecorder&) = delete;

    // Everything recorded so far.
    std::vector<float> samples() const;
    std::size_t sampleCount() const;

private:
    explicit PulseSourceRecorder(std::shared_ptr<PulseAudioContext> context) : context_(std::move(context)) {}
    static void onReadable(pa_stream* stream, std::size_t length, void* self);

    std::shared_ptr<PulseAudioContext> context_;
    PulseStreamHandle stream_;
    mutable std::mutex mutex_;
    std::vector<float> samples_;
};

}  // namespace murmo::testing
