#pragma once

#include <condition_variable>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "input/NativeAudioCapturePolicy.h"
#include "input/VoiceProcessingAudioCaptureError.h"
#include "platform/AudioDevices.h"
#include "platform/AudioEngine.h"
#include "platform/MicrophonePermission.h"
#include "runtime/Ids.h"
#include "runtime/MainLoop.h"

namespace murmo {

// Mono 32-bit float samples, little-endian, no header, nominally 40 ms.
using AudioChunk = std::vector<std::uint8_t>;
// Called on the audio thread.
using AudioChunkHandler = std::function<void(AudioChunk chunk)>;
// Called on the main loop.
using AudioCaptureFailureHandler = std::function<void(const VoiceProcessingAudioCaptureError& error)>;

// The monitor through which chunks reach the caller. Once closeAndWait()
// returns, no chunk callback of the closed run is running or will start, and
// the callback is no longer referenced.
class VoiceProcessingDeliveryGate {
public:
    // Opens a new generation; the gate must be closed and drained.
    void begin(AudioChunkHandler handler);
    // Replaces the handler of an open gate; a call in flight keeps its own.
    void updateHandler(AudioChunkHandler handler);
    // Runs body(handler) counted as in flight, when the gate is open and has
    // a handler; otherwise body does not run.
    template <class Body>
    void withHandler(Body&& body) {
        InFlightCall call(*this);
        if (!call.handler) return;
        body(*call.handler);
    }
    void closeAndWait();

private:
    // One counted handler call; it lets go of the handler before it stops
    // counting, so a drained gate references no handler.
    struct InFlightCall {
        explicit InFlightCall(VoiceProcessingDeliveryGate& gate);
        ~InFlightCall();
        InFlightCall(const InFlightCall&) = delete;
        InFlightCall& operator=(const InFlightCall&) = delete;

        VoiceProcessingDeliveryGate& gate;
        std::shared_ptr<const AudioChunkHandler> handler;
        std::uint64_t generation = 0;
    };

    std::mutex mutex_;
    std::condition_variable drained_;
    std::uint64_t generation_ = 0;
    std::shared_ptr<const AudioChunkHandler> handler_;
    bool accepting_ = false;
    std::int64_t inFlight_ = 0;
};

struct VoiceProcessingAudioCaptureDependencies {
    std::shared_ptr<AudioEngineFactory> engines;
    std::shared_ptr<AudioDevices> devices;
    std::shared_ptr<MicrophonePermission> microphonePermission;
    // Where failures are delivered.
    MainLoop& mainLoop;
    // Runs the watchdog, configuration changes and failures, one at a time; its
    // clock is the capture's clock. Null: a serial queue thread of its own.
    std::shared_ptr<EventLoop> recoveryQueue;
    // Null: the system generator.
    std::shared_ptr<IdGenerator> ids;
};

// Captures the microphone for dictation and hands out 40 ms mono chunks. While
// a run lasts, a watchdog on the recovery queue checks every 500 ms that audio
// still arrives and the devices have not changed; if not, the capture tears
// itself down and reports one failure on the main loop.
//
// The owner calls prepare/start/stop/reset (from one thread at a time); the
// chunk callback must not call back into them, since they wait for it. The
// chunk callback may drop the capture: the engine is then torn down on the
// recovery queue, never on the audio thread.
class VoiceProcessingAudioCapture final : public std::enable_shared_from_this<VoiceProcessingAudioCapture> {
public:
    static constexpr const char* kRecoveryQueueLabel = "com.dorvex.native-audio-recovery";
    static constexpr Duration kWatchdogInterval = std::chrono::milliseconds(500);
    static constexpr Duration kChunk = std::chrono::milliseconds(40);

    using Outcome = std::expected<int, VoiceProcessingAudioCaptureError>;

    static std::shared_ptr<VoiceProcessingAudioCapture> create(VoiceProcessingAudioCaptureDependencies dependencies);
    ~VoiceProcessingAudioCapture();

    VoiceProcessingAudioCapture(const VoiceProcessingAudioCapture&) = delete;
    VoiceProcessingAudioCapture& operator=(const VoiceProcessingAudioCapture&) = delete;

    // Builds and prepares an engine; nullopt follows the system default input.
    // Returns the input sample rate in Hz. While running, changes nothing and
    // returns the running rate.
    Outcome prepare(NativeAudioCaptureMode mode, std::optional<AudioDeviceID> inputDeviceID);
    // Starts capturing, preparing again first when needed; returns the sample
    // rate. While running it only replaces the two callbacks.
    Outcome start(AudioChunkHandler onChunk, AudioCaptureFailureHandler onFailure);
    // Returns once no chunk callback runs; a failure not yet delivered is
    // dropped. The next start prepares afresh with the same mode and device.
    void stop();
    // stop(), then drops the engine. Mode and requested device stay.
    void reset();

    std::optional<int> preparedSampleRate() const;

    // Tap buffer length in frames for a sample rate: 40 ms, at least 1.
    static std::uint32_t tapBufferSize(double sampleRate);
    // Mono mix of a buffer (each sample divided by the channel count before
    // it is added), as chunk bytes.
    static AudioChunk mixDown(const AudioPCMBuffer& buffer);

private:
    explicit VoiceProcessingAudioCapture(VoiceProcessingAudioCaptureDependencies dependencies);

    void endOnTheAudioThread();
    std::optional<VoiceProcessingAudioCaptureError> validatePermission() const;
    Outcome buildEngine(NativeAudioCaptureMode mode, std::optional<AudioDeviceID> inputDeviceID);
    void armWatchdog(const std::string& engineID, const std::string& runGeneration);
    void emit(const AudioPCMBuffer& buffer, const std::string& engineID);
    void checkHealth(const std::string& engineID);
    bool routeChanged(const std::shared_ptr<AudioEngine>& engine, std::optional<AudioDeviceID> preparedInput,
                      bool followsDefaultInput, std::optional<AudioDeviceID> preparedOutput,
                      NativeAudioCaptureMode mode) const;
    void configurationChanged(const std::string& engineID);
    void fail(const VoiceProcessingAudioCaptureError& error, const std::string& engineID);
    MonotonicTime now() const;

    std::shared_ptr<AudioEngineFactory> engines_;
    std::shared_ptr<AudioDevices> devices_;
    std::shared_ptr<MicrophonePermission> microphonePermission_;
    MainLoop& mainLoop_;
    std::shared_ptr<IdGenerator> ids_;

    // Held for the whole of every lifecycle operation. Never taken on the
    // audio thread, so stop() can wait for the gate while holding it.
    std::recursive_mutex lifecycleLock_;
    // Short reads and writes of the fields below; never held across engine
    // start or stop, the gate, or a callback.
    mutable std::mutex lock_;
    VoiceProcessingDeliveryGate deliveryGate_;

    std::shared_ptr<AudioEngine> engine_;
    std::optional<std::string> engineID_;
    std::optional<AudioInputFormat> inputFormat_;
    NativeAudioCaptureMode mode_ = NativeAudioCaptureMode::voiceProcessed;
    std::optional<AudioDeviceID> requestedInputDeviceID_;
    std::optional<AudioDeviceID> preparedInputDeviceID_;
    std::optional<AudioDeviceID> preparedOutputDeviceID_;
    std::optional<NativeAudioCaptureLiveness> liveness_;
    AudioCaptureFailureHandler onFailure_;
    std::optional<std::string> pendingFailureID_;
    bool needsFreshPreparation_ = false;
    bool running_ = false;

    // Under lifecycleLock_ only.
    std::unique_ptr<AudioEngine::Observation> configurationObserver_;
    Timer watchdog_;

    // Last, so it goes first: once its thread has ended, nothing runs on it.
    std::shared_ptr<EventLoop> recoveryQueue_;
};

}  // namespace murmo
