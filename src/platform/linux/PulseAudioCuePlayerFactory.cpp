#include "platform/linux/PulseAudioCuePlayerFactory.h"

#include "platform/linux/PulseAudioCuePlayer.h"
#include "platform/linux/SndfileSound.h"

namespace murmo {

PulseAudioCuePlayerFactory::PulseAudioCuePlayerFactory(std::shared_ptr<PulseAudioContext> context,
                                                       std::shared_ptr<const PulseAudioPlaybackTarget> target)
    : context_(std::move(context)), target_(std::move(target)) {}

std::unique_ptr<CuePlayer> PulseAudioCuePlayerFactory::makePlayer(const std::filesystem::path& file) {
    auto sound = SndfileSound::decode(file);
    if (!sound) return nullptr;
    return std::make_unique<PulseAudioCuePlayer>(std::move(*sound), context_, target_);
}

}  // namespace murmo
