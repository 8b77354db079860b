#include "platform/linux/PulseAudioEngineFactory.h"

#include <utility>

namespace murmo {

PulseAudioEngineFactory::PulseAudioEngineFactory(std::shared_ptr<PulseAudioContext> context,
                                                 std::shared_ptr<PulseAudioPlaybackTarget> playbackTarget,
                                                 PulseAudioEngine::Options options)
    : context_(std::move(context)), playbackTarget_(std::move(playbackTarget)), options_(std::move(options)) {}

std::shared_ptr<AudioEngine> PulseAudioEngineFactory::makeEngine() {
    return std::make_shared<PulseAudioEngine>(context_, playbackTarget_, options_);
}

}  // namespace murmo
