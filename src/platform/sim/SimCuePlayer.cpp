#include "platform/sim/SimCuePlayer.h"

namespace murmo {

struct SimCuePlayerFactory::Shared {
    std::mutex mutex;
    std::set<std::filesystem::path> refused;
    std::vector<std::filesystem::path> opened;
    std::vector<SimCuePlayerCall> calls;
    // Bumped by finishPlaying; a player started before it is no longer playing.
    std::uint64_t finishEpoch = 0;

    void record(const std::string& file, SimCuePlayerCall::Action action, double value = 0) {
        std::lock_guard guard(mutex);
        calls.push_back({file, action, value});
    }
};

namespace {

class SimCuePlayer final : public CuePlayer {
public:
    SimCuePlayer(std::shared_ptr<SimCuePlayerFactory::Shared> shared, std::string file)
        : shared_(std::move(shared)), file_(std::move(file)) {}

    void setVolume(float volume) override { shared_->record(file_, SimCuePlayerCall::Action::setVolume, volume); }
    bool prepareToPlay() override {
        shared_->record(file_, SimCuePlayerCall::Action::prepareToPlay);
        return true;
    }
    bool play() override {
        shared_->record(file_, SimCuePlayerCall::Action::play);
        std::lock_guard guard(shared_->mutex);
        playingSince_ = shared_->finishEpoch;
        playing_ = true;
        return true;
    }
    void stop() override {
        shared_->record(file_, SimCuePlayerCall::Action::stop);
        std::lock_guard guard(shared_->mutex);
        playing_ = false;
    }
    void setCurrentTime(Duration position) override {
        shared_->record(file_, SimCuePlayerCall::Action::setCurrentTime, Seconds(position).count());
    }
    bool isPlaying() const override {
        std::lock_guard guard(shared_->mutex);
        return playing_ && playingSince_ == shared_->finishEpoch;
    }

private:
    std::shared_ptr<SimCuePlayerFactory::Shared> shared_;
    std::string file_;
    bool playing_ = false;
    std::uint64_t playingSince_ = 0;
};

}  // namespace

SimCuePlayerFactory::SimCuePlayerFactory() : shared_(std::make_shared<Shared>()) {}

std::unique_ptr<CuePlayer> SimCuePlayerFactory::makePlayer(const std::filesystem::path& file) {
    {
        std::lock_guard guard(shared_->mutex);
        shared_->opened.push_back(file);
        if (shared_->refused.contains(file)) return nullptr;
    }
    return std::make_unique<SimCuePlayer>(shared_, file.filename().string());
}

void SimCuePlayerFactory::refuse(const std::filesystem::path& file) {
    std::lock_guard guard(shared_->mutex);
    shared_->refused.insert(file);
}

std::vector<std::filesystem::path> SimCuePlayerFactory::openedFiles() const {
    std::lock_guard guard(shared_->mutex);
    return shared_->opened;
}

std::vector<SimCuePlayerCall> SimCuePlayerFactory::calls() const {
    std::lock_guard guard(shared_->mutex);
    return shared_->calls;
}

void SimCuePlayerFactory::clearCalls() {
    std::lock_guard guard(shared_->mutex);
    shared_->calls.clear();
}

void SimCuePlayerFactory::finishPlaying() {
    std::lock_guard guard(shared_->mutex);
    shared_->finishEpoch += 1;
}

}  // namespace murmo
