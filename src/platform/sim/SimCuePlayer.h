#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/CuePlayer.h"

namespace murmo {

// One call made on a simulated player, named by its file's name
// ("dictation-start.wav").
struct SimCuePlayerCall {
    enum class Action { setVolume, prepareToPlay, play, stop, setCurrentTime };

    std::string file;
    Action action = Action::play;
    double value = 0;  // the volume or the time in seconds, when the call has one

    bool operator==(const SimCuePlayerCall&) const = default;
};

// Records every player call in one log, in order.
class SimCuePlayerFactory final : public CuePlayerFactory {
public:
    SimCuePlayerFactory();

    std::unique_ptr<CuePlayer> makePlayer(const std::filesystem::path& file) override;

    // The file cannot be decoded: makePlayer gives null for it.
    void refuse(const std::filesystem::path& file);
    // Every file makePlayer was asked for, in order.
    std::vector<std::filesystem::path> openedFiles() const;
    std::vector<SimCuePlayerCall> calls() const;
    void clearCalls();
    // Every playing player reaches the end of its sound.
    void finishPlaying();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace murmo
