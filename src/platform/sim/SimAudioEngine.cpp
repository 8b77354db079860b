#include "platform/sim/SimAudioEngine.h"

#include <utility>

namespace murmo {

namespace {

// The engine whose tap block this thread is running, if any.
thread_local const SimAudioEngine* tlsTapBlockEngine = nullptr;

}  // namespace

class SimAudioEngine::SimObservation final : public AudioEngine::Observation {
public:
    SimObservation(std::weak_ptr<SimAudioEngine> engine, std::uint64_t token)
        : engine_(std::move(engine)), token_(token) {}
    ~SimObservation() override {
        if (auto engine = engine_.lock()) engine->removeObserver(token_);
    }

private:
    std::weak_ptr<SimAudioEngine> engine_;
    std::uint64_t token_;
};

void SimAudioEngineFailures::fail(SimAudioEngineStep step, Error error) {
    std::lock_guard guard(mutex_);
    failures_[step] = std::move(error);
}

void SimAudioEngineFailures::clear(SimAudioEngineStep step) {
    std::lock_guard guard(mutex_);
    failures_.erase(step);
}

std::optional<Error> SimAudioEngineFailures::failure(SimAudioEngineStep step) const {
    std::lock_guard guard(mutex_);
    auto it = failures_.find(step);
    if (it == failures_.end()) return std::nullopt;
    return it->second;
}

SimAudioEngine::SimAudioEngine(SimAudioEngineSettings settings) : settings_(std::move(settings)) {}

Status SimAudioEngine::setVoiceProcessingEnabled(bool enabled) {
    std::lock_guard guard(mutex_);
    noteCallLocked("setVoiceProcessingEnabled");
    if (auto failure = settings_.failures->failure(SimAudioEngineStep::voiceProcessing)) {
        return std::unexpected(*failure);
    }
    voiceProcessing_ = enabled;
    return {};
}

bool SimAudioEngine::hasInputAudioUnit() const {
    std::lock_guard guard(mutex_);
    return settings_.hasInputAudioUnit;
}

Status SimAudioEngine::setCurrentInputDevice(AudioDeviceID device) {
    std::lock_guard guard(mutex_);
    noteCallLocked("setCurrentInputDevice");
    if (auto failure = settings_.failures->failure(SimAudioEngineStep::currentDevice)) {
        return std::unexpected(*failure);
    }
    currentDevice_ = device;
    return {};
}

bool SimAudioEngine::supportsOtherAudioDucking() const {
    std::lock_guard guard(mutex_);
    return settings_.supportsOtherAudioDucking;
}

void SimAudioEngine::setOtherAudioDucking(bool, OtherAudioDuckingLevel level) {
    std::lock_guard guard(mutex_);
    noteCallLocked("setOtherAudioDucking");
    duckingLevel_ = level;
}

AudioInputFormat SimAudioEngine::inputFormat() const {
    std::lock_guard guard(mutex_);
    return settings_.inputFormat;
}

void SimAudioEngine::installTap(std::uint32_t bufferSize, const AudioInputFormat& format, TapBlock tap) {
    std::lock_guard guard(mutex_);
    noteCallLocked("installTap");
    tap_ = std::make_shared<TapBlock>(std::move(tap));
    tapBufferSize_ = bufferSize;
    tapFormat_ = format;
}

void SimAudioEngine::removeTap() {
    std::shared_ptr<TapBlock> removed;
    std::lock_guard guard(mutex_);
    noteCallLocked("removeTap");
    removed.swap(tap_);
}

void SimAudioEngine::noteCallLocked(const char* member) {
    if (tlsTapBlockEngine == this) callsFromTapBlock_.emplace_back(member);
}

void SimAudioEngine::prepare() {
    std::lock_guard guard(mutex_);
    noteCallLocked("prepare");
    prepareCount_ += 1;
}

Status SimAudioEngine::start() {
    std::lock_guard guard(mutex_);
    noteCallLocked("start");
    startCount_ += 1;
    if (auto failure = settings_.failures->failure(SimAudioEngineStep::start)) {
        return std::unexpected(*failure);
    }
    running_ = true;
    return {};
}

void SimAudioEngine::stop() {
    std::lock_guard guard(mutex_);
    noteCallLocked("stop");
    stopCount_ += 1;
    running_ = false;
}

void SimAudioEngine::reset() {
    std::lock_guard guard(mutex_);
    noteCallLocked("reset");
    resetCount_ += 1;
}

bool SimAudioEngine::isRunning() const {
    std::lock_guard guard(mutex_);
    return running_;
}

std::unique_ptr<AudioEngine::Observation> SimAudioEngine::observeConfigurationChanges(
    ConfigurationChangeHandler handler) {
    std::uint64_t token = 0;
    {
        std::lock_guard guard(mutex_);
        token = nextObserverToken_++;
        observers_[token] = std::make_shared<ConfigurationChangeHandler>(std::move(handler));
    }
    return std::make_unique<SimObservation>(weak_from_this(), token);
}

void SimAudioEngine::removeObserver(std::uint64_t token) {
    std::shared_ptr<ConfigurationChangeHandler> removed;
    std::lock_guard guard(mutex_);
    if (auto it = observers_.find(token); it != observers_.end()) {
        removed = std::move(it->second);
        observers_.erase(it);
    }
}

// The tap runs outside the engine's lock, so it may call back into the engine.
bool SimAudioEngine::runTap(const AudioPCMBuffer& buffer) {
    std::shared_ptr<TapBlock> tap;
    {
        std::lock_guard guard(mutex_);
        tap = tap_;
    }
    if (!tap) return false;
    const auto* outer = std::exchange(tlsTapBlockEngine, this);
    (*tap)(buffer);
    tlsTapBlockEngine = outer;
    return true;
}

bool SimAudioEngine::deliver(const std::vector<std::vector<float>>& channels) {
    std::vector<const float*> pointers;
    pointers.reserve(channels.size());
    for (const auto& channel : channels) pointers.push_back(channel.data());
    AudioPCMBuffer buffer;
    buffer.floatChannelData = pointers.data();
    buffer.channelCount = static_cast<std::uint32_t>(channels.size());
    buffer.frameLength = channels.empty() ? 0 : static_cast<std::uint32_t>(channels.front().size());
    return runTap(buffer);
}

bool SimAudioEngine::deliverWithoutFloatData(std::uint32_t channelCount, std::uint32_t frameLength) {
    return runTap(AudioPCMBuffer{nullptr, channelCount, frameLength});
}

void SimAudioEngine::postConfigurationChange() {
    std::vector<std::shared_ptr<ConfigurationChangeHandler>> handlers;
    {
        std::lock_guard guard(mutex_);
        for (const auto& [token, handler] : observers_) handlers.push_back(handler);
    }
    for (const auto& handler : handlers) (*handler)();
}

void SimAudioEngine::haltUnexpectedly() {
    std::lock_guard guard(mutex_);
    running_ = false;
}

bool SimAudioEngine::voiceProcessingEnabled() const {
    std::lock_guard guard(mutex_);
    return voiceProcessing_;
}

std::optional<AudioDeviceID> SimAudioEngine::currentInputDevice() const {
    std::lock_guard guard(mutex_);
    return currentDevice_;
}

std::optional<OtherAudioDuckingLevel> SimAudioEngine::otherAudioDuckingLevel() const {
    std::lock_guard guard(mutex_);
    return duckingLevel_;
}

std::optional<std::uint32_t> SimAudioEngine::tapBufferSize() const {
    std::lock_guard guard(mutex_);
    return tapBufferSize_;
}

std::optional<AudioInputFormat> SimAudioEngine::tapFormat() const {
    std::lock_guard guard(mutex_);
    return tapFormat_;
}

bool SimAudioEngine::hasTap() const {
    std::lock_guard guard(mutex_);
    return tap_ != nullptr;
}

int SimAudioEngine::prepareCount() const {
    std::lock_guard guard(mutex_);
    return prepareCount_;
}

int SimAudioEngine::startCount() const {
    std::lock_guard guard(mutex_);
    return startCount_;
}

int SimAudioEngine::stopCount() const {
    std::lock_guard guard(mutex_);
    return stopCount_;
}

int SimAudioEngine::resetCount() const {
    std::lock_guard guard(mutex_);
    return resetCount_;
}

std::size_t SimAudioEngine::configurationObserverCount() const {
    std::lock_guard guard(mutex_);
    return observers_.size();
}

std::vector<std::string> SimAudioEngine::callsFromTapBlock() const {
    std::lock_guard guard(mutex_);
    return callsFromTapBlock_;
}

std::shared_ptr<AudioEngine> SimAudioEngineFactory::makeEngine() {
    std::lock_guard guard(mutex_);
    auto engine = std::make_shared<SimAudioEngine>(settings_);
    engines_.push_back(engine);
    return engine;
}

void SimAudioEngineFactory::setInputFormat(const AudioInputFormat& format) {
    std::lock_guard guard(mutex_);
    settings_.inputFormat = format;
}

void SimAudioEngineFactory::setHasInputAudioUnit(bool present) {
    std::lock_guard guard(mutex_);
    settings_.hasInputAudioUnit = present;
}

void SimAudioEngineFactory::setSupportsOtherAudioDucking(bool supported) {
    std::lock_guard guard(mutex_);
    settings_.supportsOtherAudioDucking = supported;
}

void SimAudioEngineFactory::failStep(SimAudioEngineStep step, std::string domain, long code) {
    settings_.failures->fail(step, Error(std::move(domain), code, "simulated failure"));
}

void SimAudioEngineFactory::clearFailure(SimAudioEngineStep step) { settings_.failures->clear(step); }

std::vector<std::shared_ptr<SimAudioEngine>> SimAudioEngineFactory::engines() const {
    std::lock_guard guard(mutex_);
    return engines_;
}

std::shared_ptr<SimAudioEngine> SimAudioEngineFactory::latest() const {
    std::lock_guard guard(mutex_);
    return engines_.empty() ? nullptr : engines_.back();
}

}  // namespace murmo
