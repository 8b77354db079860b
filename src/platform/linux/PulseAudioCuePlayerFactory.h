#pragma once

#include <memory>

#include "platform/CuePlayer.h"

namespace murmo {

class PulseAudioContext;
class PulseAudioPlaybackTarget;

// Makes PulseAudioCuePlayers on one connection. Main thread.
class PulseAudioCuePlayerFactory final : public CuePlayerFactory {
public:
    // `context` null: the server could not be reached; players are still made
    // for good files, and their play() fails.
    PulseAudioCuePlayerFactory(std::shared_ptr<PulseAudioContext> context,
                               std::shared_ptr<const PulseAudioPlaybackTarget> target);

    // Decodes the whole file now; null when it cannot be opened or decoded.
    std::unique_ptr<CuePlayer> makePlayer(const std::filesystem::path& file) override;

private:
    std::shared_ptr<PulseAudioContext> context_;
    std::shared_ptr<const PulseAudioPlaybackTarget> target_;
};

}  // namespace murmo
