#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioEngine.h"

namespace murmo {

// Steps of an engine that a test can make fail.
enum class SimAudioEngineStep { voiceProcessing, currentDevice, start };

// Failing steps, shared by a factory and every engine it made, so a test can
// make an engine that is already prepared refuse to start.
class SimAudioEngineFailures {
public:
    void fail(SimAudioEngineStep step, Error error);
    void clear(SimAudioEngineStep step);
    std::optional<Error> failure(SimAudioEngineStep step) const;

private:
    mutable std::mutex mutex_;
    std::map<SimAudioEngineStep, Error> failures_;
};

// What new engines are like; the factory hands a copy to each engine it makes.
struct SimAudioEngineSettings {
    AudioInputFormat inputFormat{48'000, 1, AudioCommonFormat::float32, false};
    bool hasInputAudioUnit = true;
    bool supportsOtherAudioDucking = true;
    std::shared_ptr<SimAudioEngineFailures> failures = std::make_shared<SimAudioEngineFailures>();
};

// An engine whose audio thread is the test's: deliver() runs the tap on the
// calling thread. Every other call is recorded, and so is every call made
// from inside the tap block, which a platform engine does not allow.
// Thread-safe.
class SimAudioEngine final : public AudioEngine, public std::enable_shared_from_this<SimAudioEngine> {
public:
    explicit SimAudioEngine(SimAudioEngineSettings settings);

    Status setVoiceProcessingEnabled(bool enabled) override;
    bool hasInputAudioUnit() const override;
    Status setCurrentInputDevice(AudioDeviceID device) override;
    bool supportsOtherAudioDucking() const override;
    void setOtherAudioDucking(bool advancedDuckingEnabled, OtherAudioDuckingLevel level) override;
    AudioInputFormat inputFormat() const override;
    void installTap(std::uint32_t bufferSize, const AudioInputFormat& format, TapBlock tap) override;
    void removeTap() override;
    void prepare() override;
    Status start() override;
    void stop() override;
    void reset() override;
    bool isRunning() const override;
    std::unique_ptr<Observation> observeConfigurationChanges(ConfigurationChangeHandler handler) override;

    // Test side. Runs the installed tap with these channels (one vector per
    // channel, all of the same length) on the calling thread, whether or not
    // the engine runs, as a late audio thread might. False when no tap is
    // installed.
    bool deliver(const std::vector<std::vector<float>>& channels);
    // A buffer without float samples.
    bool deliverWithoutFloatData(std::uint32_t channelCount, std::uint32_t frameLength);
    // Posts the configuration-change notification on the calling thread.
    void postConfigurationChange();
    // The engine stops on its own, as when its device goes away.
    void haltUnexpectedly();

    // Recorded state.
    bool voiceProcessingEnabled() const;
    std::optional<AudioDeviceID> currentInputDevice() const;
    std::optional<OtherAudioDuckingLevel> otherAudioDuckingLevel() const;
    std::optional<std::uint32_t> tapBufferSize() const;
    std::optional<AudioInputFormat> tapFormat() const;
    bool hasTap() const;
    int prepareCount() const;
    int startCount() const;
    int stopCount() const;
    int resetCount() const;
    std::size_t configurationObserverCount() const;
    // Names of the engine's members called from inside its own tap block, in
    // order ("stop", "removeTap", ...).
    std::vector<std::string> callsFromTapBlock() const;

private:
    class SimObservation;
    bool runTap(const AudioPCMBuffer& buffer);
    void removeObserver(std::uint64_t token);
    // Under mutex_: notes a call that the tap block makes into this engine.
    void noteCallLocked(const char* member);

    mutable std::mutex mutex_;
    SimAudioEngineSettings settings_;
    bool voiceProcessing_ = false;
    std::optional<AudioDeviceID> currentDevice_;
    std::optional<OtherAudioDuckingLevel> duckingLevel_;
    std::shared_ptr<TapBlock> tap_;
    std::optional<std::uint32_t> tapBufferSize_;
    std::optional<AudioInputFormat> tapFormat_;
    bool running_ = false;
    int prepareCount_ = 0;
    int startCount_ = 0;
    int stopCount_ = 0;
    int resetCount_ = 0;
    std::uint64_t nextObserverToken_ = 1;
    std::map<std::uint64_t, std::shared_ptr<ConfigurationChangeHandler>> observers_;
    std::vector<std::string> callsFromTapBlock_;
};

class SimAudioEngineFactory final : public AudioEngineFactory {
public:
    std::shared_ptr<AudioEngine> makeEngine() override;

    // Settings for engines made from now on.
    void setInputFormat(const AudioInputFormat& format);
    void setHasInputAudioUnit(bool present);
    void setSupportsOtherAudioDucking(bool supported);
    // The step fails with this domain and code until cleared, in every engine.
    void failStep(SimAudioEngineStep step, std::string domain, long code);
    void clearFailure(SimAudioEngineStep step);

    std::vector<std::shared_ptr<SimAudioEngine>> engines() const;
    // The last engine made, or null.
    std::shared_ptr<SimAudioEngine> latest() const;

private:
    mutable std::mutex mutex_;
    SimAudioEngineSettings settings_;
    std::vector<std::shared_ptr<SimAudioEngine>> engines_;
};

}  // namespace murmo
