#pragma once

#include <filesystem>
#include <memory>

#include "runtime/Clock.h"

namespace murmo {

// A player for one short sound file, loaded and decoded up front so that
// playing it needs no file access. Main thread.
class CuePlayer {
public:
    virtual ~CuePlayer() = default;
    // 0 to 1.
    virtual void setVolume(float volume) = 0;
    virtual bool prepareToPlay() = 0;
    virtual bool play() = 0;
    virtual void stop() = 0;
    virtual void setCurrentTime(Duration position) = 0;
    virtual bool isPlaying() const = 0;
};

class CuePlayerFactory {
public:
    virtual ~CuePlayerFactory() = default;
    // Null when the file cannot be opened or decoded.
    virtual std::unique_ptr<CuePlayer> makePlayer(const std::filesystem::path& file) = 0;
};

}  // namespace murmo
