#pragma once

// The echo canceller voice processing records through: a module-echo-cancel
// instance loaded for one microphone source (its master) and the speakers
// (its sink's master), with the webrtc canceller. It offers a source (the
// microphone with our own playback taken out) and a sink; whatever is played
// into that sink reaches the speakers and serves as the canceller's
// reference. The canceller's gain controls stay off: left on, they turn the
// microphone's volume down to a third and leave it there.
//
// Owns the module: it is unloaded when the object goes. Off the loop thread
// that waits (bounded) for the server to confirm; on it, the unload is only
// requested.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/linux/PulseAudioContext.h"

namespace murmo {

class PulseEchoCanceller {
public:
    // With `lock` held. Fails when the module does not load within `timeout`.
    static Result<std::unique_ptr<PulseEchoCanceller>> load(std::shared_ptr<PulseAudioContext> context,
                                                            PulseAudioContext::Lock& lock,
                                                            const std::string& microphoneSource,
                                                            const std::string& speakersSink, Duration timeout);
    // Takes the loop's lock itself: never destroy it with the lock held off
    // the loop thread.
    ~PulseEchoCanceller();
    PulseEchoCanceller(const PulseEchoCanceller&) = delete;
    PulseEchoCanceller& operator=(const PulseEchoCanceller&) = delete;

    const std::string& sourceName() const { return sourceName_; }
    const std::string& sinkName() const { return sinkName_; }
    // The microphone it was loaded for.
    const std::string& masterSourceName() const { return masterSourceName_; }
    std::uint32_t moduleIndex() const { return moduleIndex_; }

private:
    PulseEchoCanceller(std::shared_ptr<PulseAudioContext> context, std::uint32_t moduleIndex, std::string sourceName,
                       std::string sinkName, std::string masterSourceName, Duration timeout);

    std::shared_ptr<PulseAudioContext> context_;
    std::uint32_t moduleIndex_;
    std::string sourceName_;
    std::string sinkName_;
    std::string masterSourceName_;
    Duration timeout_;
};

}  // namespace murmo
