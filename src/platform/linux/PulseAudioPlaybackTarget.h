#pragma once

// The sink playback (cues, speech) must use now: while voice processing runs,
// the echo canceller's sink, so the canceller hears what we play as its
// reference and takes it out of the microphone; otherwise absent, and
// playback goes to the server's default sink. The audio engine sets it while
// its echo canceller is loaded; players read it for every new stream.
// Thread-safe.

#include <mutex>
#include <optional>
#include <string>

namespace murmo {

class PulseAudioPlaybackTarget {
public:
    std::optional<std::string> sinkName() const;
    void set(std::optional<std::string> sinkName);

private:
    mutable std::mutex mutex_;
    std::optional<std::string> sinkName_;
};

}  // namespace murmo
