#pragma once

// Makes a fresh PulseAudioEngine for every capture preparation, all on one
// shared connection and one playback target. A null connection (no sound
// server) makes engines that fail every call.

#include <memory>

#include "platform/AudioEngine.h"
#include "platform/linux/PulseAudioEngine.h"

namespace murmo {

class PulseAudioEngineFactory final : public AudioEngineFactory {
public:
    PulseAudioEngineFactory(std::shared_ptr<PulseAudioContext> context,
                            std::shared_ptr<PulseAudioPlaybackTarget> playbackTarget,
                            PulseAudioEngine::Options options = {});

    std::shared_ptr<AudioEngine> makeEngine() override;

private:
    std::shared_ptr<PulseAudioContext> context_;
    std::shared_ptr<PulseAudioPlaybackTarget> playbackTarget_;
    PulseAudioEngine::Options options_;
};

}  // namespace murmo
