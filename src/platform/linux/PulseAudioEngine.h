#pragma once

// The microphone capture engine over the sound server: one record stream of
// 32-bit float samples at the source's rate and channel count, re-chunked
// into exactly the tap's buffer size and handed to the tap on the connection's
// loop thread with the loop locked. stop(), removeTap() and reset() take that
// lock, so they return only once a running tap call has ended; calling them
// (or any other member) from inside the tap would wait for itself, as the
// port says.
//
// Input: the server's default source, or the source bound with
// setCurrentInputDevice() (device ids as PulseAudioContext.h maps them).
// Voice processing records through a PulseEchoCanceller loaded for that
// source, kept while the engine lives; meanwhile the playback target names
// the canceller's sink so our own sounds are cancelled out of the microphone.
//
// Configuration changes (posted on the loop thread): the stream was moved to
// another source (the source went away, the default changed; a stream left
// with only monitors would record our own output), the source it records
// from was removed, the default source (when following it) or, with voice
// processing, the default sink changed, the stream failed or the connection
// was lost. After one the engine delivers nothing more and isRunning() is
// false until it is stopped and started again. A suspended source is no
// configuration change: buffers stop while it sleeps and come back when it
// wakes, so the capture's watchdog decides whether the silence is too long.
//
// Every call waits for the server at most the options' time-out. All members
// but the configuration handlers' registry take the loop's lock; none may be
// called on the loop thread.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/AudioEngine.h"
#include "platform/linux/PulseAudioContext.h"
#include "platform/linux/PulseAudioPlaybackTarget.h"
#include "platform/linux/PulseCaptureChunker.h"
#include "platform/linux/PulseEchoCanceller.h"

namespace murmo {

class PulseAudioEngine final : public AudioEngine {
public:
    struct Options {
        // The bound on every wait for the server.
        Duration operationTimeout = std::chrono::seconds(2);
        std::string streamName = "Microphone";
    };

    // `context` null: no sound server; every call fails or reports nothing.
    PulseAudioEngine(std::shared_ptr<PulseAudioContext> context,
                     std::shared_ptr<PulseAudioPlaybackTarget> playbackTarget, Options options);
    ~PulseAudioEngine() override;
    PulseAudioEngine(const PulseAudioEngine&) = delete;
    PulseAudioEngine& operator=(const PulseAudioEngine&) = delete;

    // Loads the echo canceller for the current source (or unloads it).
    Status setVoiceProcessingEnabled(bool enabled) override;
    bool hasInputAudioUnit() const override;
    // Fails for an id that names no existing source.
    Status setCurrentInputDevice(AudioDeviceID device) override;
    // The canceller leaves other applications' audio alone: nothing to set.
    bool supportsOtherAudioDucking() const override { return false; }
    void setOtherAudioDucking(bool, OtherAudioDuckingLevel) override {}
    // The source's rate and channels as 32-bit float planes; all zero when
    // the source cannot be read.
    AudioInputFormat inputFormat() const override;
    void installTap(std::uint32_t bufferSize, const AudioInputFormat& format, TapBlock tap) override;
    void removeTap() override;
    void prepare() override;
    Status start() override;
    void stop() override;
    // Stops and forgets the resolved source (the canceller stays loaded).
    void reset() override;
    bool isRunning() const override;
    std::unique_ptr<Observation> observeConfigurationChanges(ConfigurationChangeHandler handler) override;

    // The source recorded with voice processing on, while the canceller is
    // loaded.
    std::optional<std::string> voiceProcessingSourceName() const;

private:
    struct CaptureSource;
    class HandlerRegistry;
    class HandlerObservation;
    class TapHold;

    Result<CaptureSource> resolveSource(PulseAudioContext::Lock& lock) const;
    Status ensureSource(PulseAudioContext::Lock& lock) const;
    Status loadCanceller(PulseAudioContext::Lock& lock);
    std::unique_ptr<PulseEchoCanceller> retireCanceller();
    Status connectStream(PulseAudioContext::Lock& lock);
    void disconnectStream();

    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamRead(pa_stream* stream, std::size_t length, void* self);
    static void onStreamMoved(pa_stream* stream, void* self);
    void onServerEvent(pa_subscription_event_type_t facility, pa_subscription_event_type_t type, std::uint32_t index);
    void checkServerDefaults();
    // On the loop thread: the route under the running stream changed.
    void halt();

    const std::shared_ptr<PulseAudioContext> context_;
    const std::shared_ptr<PulseAudioPlaybackTarget> playbackTarget_;
    const Options options_;
    const std::shared_ptr<HandlerRegistry> handlers_;
    std::unique_ptr<PulseAudioContext::Observation> eventObservation_;
    std::unique_ptr<PulseAudioContext::Observation> lossObservation_;

    // Guarded by the loop's lock.
    bool voiceProcessing_ = false;
    std::optional<std::string> boundSourceName_;
    std::unique_ptr<PulseEchoCanceller> canceller_;
    mutable std::unique_ptr<CaptureSource> source_;
    std::shared_ptr<TapBlock> tap_;
    std::optional<AudioInputFormat> tapFormat_;
    std::optional<PulseCaptureChunker> chunker_;
    PulseStreamHandle stream_;
    PulseOperationHandle defaultsQuery_;
    std::uint32_t streamSourceIndex_ = PA_INVALID_INDEX;
    bool running_ = false;
    bool halted_ = false;
    // Holds waiting for the lock to end the delivery (see TapHold).
    mutable std::atomic<int> tapHolds_{0};
};

}  // namespace murmo
