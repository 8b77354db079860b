#include "platform/linux/PulseAudioCuePlayer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/linux/PulseAudioContext.h"
#include "platform/linux/PulseAudioPlayback.h"
#include "platform/linux/PulseAudioPlaybackTarget.h"

namespace murmo {

PulseAudioCuePlayer::PulseAudioCuePlayer(SndfileSound sound, std::shared_ptr<PulseAudioContext> context,
                                         std::shared_ptr<const PulseAudioPlaybackTarget> target)
    : sound_(std::move(sound)), context_(std::move(context)), target_(std::move(target)) {}

PulseAudioCuePlayer::~PulseAudioCuePlayer() = default;

void PulseAudioCuePlayer::setVolume(float volume) {
    volume_ = std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
}

bool PulseAudioCuePlayer::prepareToPlay() { return true; }

bool PulseAudioCuePlayer::play() {
    stop();
    if (!context_ || startFrame_ >= sound_.frameCount()) return false;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, sound_.sampleRate(), sound_.channels()};
    auto opened = PulseAudioPlayback::open(context_, target_ ? target_->sinkName() : std::nullopt, format, {});
    if (!opened) return false;
    playback_ = std::move(*opened);
    const auto samples = sound_.samples().subspan(startFrame_ * sound_.channels());
    std::vector<float> scaled(samples.size());
    std::ranges::transform(samples, scaled.begin(), [this](float sample) { return sample * volume_; });
    playback_->append(std::as_bytes(std::span<const float>(scaled)));
    playback_->finish();
    return true;
}

void PulseAudioCuePlayer::stop() { playback_.reset(); }

void PulseAudioCuePlayer::setCurrentTime(Duration position) {
    const double frames = std::max(Seconds(position).count(), 0.0) * sound_.sampleRate();
    startFrame_ = static_cast<std::size_t>(std::min(frames, static_cast<double>(sound_.frameCount())));
}

bool PulseAudioCuePlayer::isPlaying() const { return playback_ && !playback_->isFinished(); }

}  // namespace murmo
