#include "input/SoundFeedbackController.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace murmo {

namespace {

struct CueResource {
    DictationFeedbackSound sound;
    std::string_view fileName;
    float volume;
};

constexpr std::array<CueResource, 3> kCues{{
    {DictationFeedbackSound::start, "dictation-start", 0.42f},
    {DictationFeedbackSound::success, "dictation-success", 0.48f},
    {DictationFeedbackSound::error, "dictation-error", 0.44f},
}};

constexpr std::string_view kSoundsFolder = "Sounds";
constexpr std::string_view kSoundExtension = "wav";

std::size_t indexOf(DictationFeedbackSound sound) { return static_cast<std::size_t>(sound); }

bool largeEnough(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    return !error && size >= SoundFeedbackController::kMinimumSoundFileBytes;
}

}  // namespace

std::string_view rawValue(DictationFeedbackSound sound) {
    switch (sound) {
        case DictationFeedbackSound::start: return "start";
        case DictationFeedbackSound::success: return "success";
        case DictationFeedbackSound::error: return "error";
    }
    return "error";
}

std::optional<DictationFeedbackSound> dictationFeedbackSound(std::string_view rawValue) {
    for (const auto& cue : kCues) {
        if (murmo::rawValue(cue.sound) == rawValue) return cue.sound;
    }
    return std::nullopt;
}

std::optional<DictationFeedbackSound> terminalSound(DictationFeedbackTerminalOutcome outcome) {
    switch (outcome) {
        case DictationFeedbackTerminalOutcome::inserted:
        case DictationFeedbackTerminalOutcome::generatedWithoutInjection: return DictationFeedbackSound::success;
        case DictationFeedbackTerminalOutcome::error: return DictationFeedbackSound::error;
        case DictationFeedbackTerminalOutcome::cancelled: return std::nullopt;
    }
    return std::nullopt;
}

// MARK: gate

DictationFeedbackSoundGate::DictationFeedbackSoundGate(int capacity) : capacity_(std::max(capacity, 1)) {}

void DictationFeedbackSoundGate::begin(const std::string& operationID) {
    if (operationID.empty() || operations_.contains(operationID)) return;
    operations_.emplace(operationID, OperationState{});
    operationOrder_.push_back(operationID);
    while (operationOrder_.size() > static_cast<std::size_t>(capacity_)) {
        operations_.erase(operationOrder_.front());
        operationOrder_.pop_front();
    }
}

std::optional<DictationFeedbackSound> DictationFeedbackSoundGate::startAccepted(const std::string& operationID) {
    auto it = operations_.find(operationID);
    if (it == operations_.end() || it->second.startPlayed || it->second.terminalRecorded) return std::nullopt;
    it->second.startPlayed = true;
    return DictationFeedbackSound::start;
}

std::optional<DictationFeedbackSound> DictationFeedbackSoundGate::finish(const std::string& operationID,
                                                                         DictationFeedbackTerminalOutcome outcome) {
    if (operationID.empty()) return std::nullopt;
    begin(operationID);
    auto& state = operations_.at(operationID);
    if (state.terminalRecorded) return std::nullopt;
    state.terminalRecorded = true;
    return terminalSound(outcome);
}

// MARK: controller

SoundFeedbackController::SoundFeedbackController(SoundFeedbackControllerDependencies dependencies)
    : dependencies_(std::move(dependencies)) {
    // Loaded and prepared now, so that a key press plays a cue without reading a file.
    for (const auto& cue : kCues) players_[indexOf(cue.sound)] = loadPlayer(cue.fileName, cue.volume);
}

std::unique_ptr<CuePlayer> SoundFeedbackController::loadPlayer(std::string_view name, float volume) const {
    const std::string fileName = std::string(name) + "." + std::string(kSoundExtension);
    std::vector<std::filesystem::path> candidates;
    const auto& bundle = dependencies_.bundle;
    if (bundle) {
        if (auto url = bundle->urlForResource(name, kSoundExtension, kSoundsFolder)) candidates.push_back(*url);
        if (auto resources = bundle->resourceURL()) candidates.push_back(*resources / kSoundsFolder / fileName);
    }
    const auto& mainBundle = dependencies_.mainBundle;
    if ((!bundle || !bundle->isMainBundle()) && mainBundle) {
        if (auto resources = mainBundle->resourceURL()) candidates.push_back(*resources / kSoundsFolder / fileName);
    }

    for (const auto& candidate : candidates) {
        if (!largeEnough(candidate)) continue;
        auto player = dependencies_.players->makePlayer(candidate);
        if (!player) continue;
        player->setVolume(volume);
        player->prepareToPlay();
        return player;
    }
    return nullptr;
}

void SoundFeedbackController::stopAndRewind(CuePlayer& player) {
    player.stop();
    player.setCurrentTime(Duration::zero());
}

void SoundFeedbackController::play(std::optional<DictationFeedbackSound> sound) {
    if (!isEnabled_ || !sound) return;
    auto& player = players_[indexOf(*sound)];
    if (!player) return;
    // One cue at a time: a new cue cuts the one still sounding.
    for (auto& other : players_) {
        if (other && other != player && other->isPlaying()) stopAndRewind(*other);
    }
    stopAndRewind(*player);
    player->play();
}

void SoundFeedbackController::setEnabled(bool enabled) {
    isEnabled_ = enabled;
    if (enabled) return;
    for (auto& player : players_) {
        if (player) stopAndRewind(*player);
    }
}

void SoundFeedbackController::beginOperation(const std::string& operationID) { gate_.begin(operationID); }

void SoundFeedbackController::startAccepted(const std::string& operationID) { play(gate_.startAccepted(operationID)); }

void SoundFeedbackController::finish(const std::string& operationID, DictationFeedbackTerminalOutcome outcome) {
    play(gate_.finish(operationID, outcome));
}

void SoundFeedbackController::playGeneralError() {
    const auto now = dependencies_.clock.now();
    if (lastGeneralErrorAt_ && now - *lastGeneralErrorAt_ < kGeneralErrorInterval) return;
    lastGeneralErrorAt_ = now;
    play(DictationFeedbackSound::error);
}

void SoundFeedbackController::shutdown() {
    for (auto& player : players_) {
        if (player) stopAndRewind(*player);
        player.reset();
    }
}

}  // namespace murmo
