#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/AudioDevices.h"
#include "runtime/Error.h"

namespace murmo {

enum class AudioCommonFormat { float32, float64, int16, int32, other };

// The input node's output format on bus 0.
struct AudioInputFormat {
    double sampleRate = 0;
    std::uint32_t channelCount = 0;
    AudioCommonFormat commonFormat = AudioCommonFormat::float32;
    bool interleaved = false;

    bool operator==(const AudioInputFormat&) const = default;
};

// One buffer handed to a tap, valid only during the tap call: `channelCount`
// non-interleaved channels of `frameLength` samples each.
struct AudioPCMBuffer {
    // One pointer per channel; null when the samples are not 32-bit floats.
    const float* const* floatChannelData = nullptr;
    std::uint32_t channelCount = 0;
    std::uint32_t frameLength = 0;
};

enum class OtherAudioDuckingLevel { defaultLevel, minimum, mid, maximum };

// An audio engine with one input node, as the platform offers it for
// microphone capture. Built fresh for every preparation.
//
// The tap block runs on the engine's audio thread, inside the render cycle
// that produced the buffer. From inside it no member of the engine may be
// called: stop(), reset(), removeTap() and the other calls that change the
// engine wait for that render cycle to end, so made from the block they never
// return (and a tap cannot remove itself while it runs). The block may read
// the buffer, take short locks and hand work to other threads; whatever
// tears the engine down belongs on one of those, even when it is the block
// that lets go of the engine's last owner.
class AudioEngine {
public:
    // Called on the engine's audio thread; see above for what it may do.
    using TapBlock = std::function<void(const AudioPCMBuffer& buffer)>;
    // Called on whatever thread the platform posts the change from.
    using ConfigurationChangeHandler = std::function<void()>;

    // Keeps a configuration-change handler registered while it lives.
    class Observation {
    public:
        virtual ~Observation() = default;
    };

    virtual ~AudioEngine() = default;

    // Voice processing (echo cancellation, noise suppression) on the input node.
    virtual Status setVoiceProcessingEnabled(bool enabled) = 0;
    virtual bool hasInputAudioUnit() const = 0;
    // Binds the input node to a device instead of the system default.
    virtual Status setCurrentInputDevice(AudioDeviceID device) = 0;
    // Capability: whether the platform lets voice processing leave other
    // applications' audio alone.
    virtual bool supportsOtherAudioDucking() const = 0;
    virtual void setOtherAudioDucking(bool advancedDuckingEnabled, OtherAudioDuckingLevel level) = 0;
    virtual AudioInputFormat inputFormat() const = 0;
    // Bus 0 of the input node; buffers of about `bufferSize` frames.
    virtual void installTap(std::uint32_t bufferSize, const AudioInputFormat& format, TapBlock tap) = 0;
    virtual void removeTap() = 0;
    virtual void prepare() = 0;
    virtual Status start() = 0;
    virtual void stop() = 0;
    virtual void reset() = 0;
    virtual bool isRunning() const = 0;
    // The handler stays registered until the returned observation is destroyed.
    virtual std::unique_ptr<Observation> observeConfigurationChanges(ConfigurationChangeHandler handler) = 0;
};

class AudioEngineFactory {
public:
    virtual ~AudioEngineFactory() = default;
    virtual std::shared_ptr<AudioEngine> makeEngine() = 0;
};

}  // namespace murmo
