#pragma once

// A cue player over PulseAudio: the file is decoded whole when the player is
// made, and each play opens a short playback stream of its samples, scaled
// by the player's volume, into the playback target's sink (the default sink
// when the target names none). Main thread.

#include <cstddef>
#include <memory>

#include "platform/CuePlayer.h"
#include "platform/linux/SndfileSound.h"

namespace murmo {

class PulseAudioContext;
class PulseAudioPlayback;
class PulseAudioPlaybackTarget;

class PulseAudioCuePlayer final : public CuePlayer {
public:
    // `context` null: the server could not be reached; play() fails.
    PulseAudioCuePlayer(SndfileSound sound, std::shared_ptr<PulseAudioContext> context,
                        std::shared_ptr<const PulseAudioPlaybackTarget> target);
    ~PulseAudioCuePlayer() override;

    // Clamped to 0 to 1; applies from the next play.
    void setVolume(float volume) override;
    // The sound is decoded already: true.
    bool prepareToPlay() override;
    // Stops a play under way, then plays from the current time. False when
    // no stream could be opened or the current time is at or past the end.
    bool play() override;
    void stop() override;
    // Where the next play starts; clamped to the sound's length.
    void setCurrentTime(Duration position) override;
    // From play() until the sound has drained from the sink, or stop().
    bool isPlaying() const override;

private:
    SndfileSound sound_;
    std::shared_ptr<PulseAudioContext> context_;
    std::shared_ptr<const PulseAudioPlaybackTarget> target_;
    float volume_ = 1.0f;
    std::size_t startFrame_ = 0;
    std::unique_ptr<PulseAudioPlayback> playback_;
};

}  // namespace murmo
