#include "input/VoiceProcessingAudioCapture.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "input/NativeAudioRoute.h"
#include "runtime/SerialQueue.h"
#include "runtime/SystemIdGenerator.h"

namespace murmo {

// Chunks are the processor's own float bytes, and the engine expects little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

using Case = VoiceProcessingAudioCaptureError::Case;

constexpr double kMinimumSampleRate = 8'000;
constexpr double kMaximumSampleRate = 192'000;

VoiceProcessingAudioCaptureError captureError(Case kind) { return VoiceProcessingAudioCaptureError::of(kind); }

std::unexpected<VoiceProcessingAudioCaptureError> failure(Case kind) { return std::unexpected(captureError(kind)); }

int roundedSampleRate(const AudioInputFormat& format) { return static_cast<int>(std::lround(format.sampleRate)); }

bool isSupported(const AudioInputFormat& format) {
    return format.sampleRate >= kMinimumSampleRate && format.sampleRate <= kMaximumSampleRate &&
           format.channelCount >= 1 && format.commonFormat == AudioCommonFormat::float32 && !format.interleaved;
}

std::optional<AudioDeviceID> readDefaultDevice(const AudioDevices& devices, DefaultAudioDevice which) {
    auto device = devices.defaultDevice(which);
    if (!device || *device == 0) return std::nullopt;
    return device;
}

// How many of the capture's tap blocks this thread is running: more than none
// means it is an engine's audio thread, in the middle of a render cycle.
thread_local int tlsTapBlockDepth = 0;

// Marks the calling thread for the life of one tap block.
class TapBlockScope {
public:
    TapBlockScope() { ++tlsTapBlockDepth; }
    ~TapBlockScope() { --tlsTapBlockDepth; }
    TapBlockScope(const TapBlockScope&) = delete;
    TapBlockScope& operator=(const TapBlockScope&) = delete;

    static bool active() { return tlsTapBlockDepth > 0; }
};

}  // namespace

// MARK: delivery gate

VoiceProcessingDeliveryGate::InFlightCall::InFlightCall(VoiceProcessingDeliveryGate& gate) : gate(gate) {
    std::lock_guard guard(gate.mutex_);
    if (!gate.accepting_ || !gate.handler_) return;
    gate.inFlight_ += 1;
    generation = gate.generation_;
    handler = gate.handler_;
}

VoiceProcessingDeliveryGate::InFlightCall::~InFlightCall() {
    if (!handler) return;
    handler.reset();
    std::lock_guard guard(gate.mutex_);
    if (generation != gate.generation_) return;
    gate.inFlight_ = std::max<std::int64_t>(gate.inFlight_ - 1, 0);
    if (gate.inFlight_ == 0) gate.drained_.notify_all();
}

void VoiceProcessingDeliveryGate::begin(AudioChunkHandler handler) {
    auto shared = std::make_shared<const AudioChunkHandler>(std::move(handler));
    std::lock_guard guard(mutex_);
    generation_ += 1;
    handler_ = std::move(shared);
    accepting_ = true;
}

void VoiceProcessingDeliveryGate::updateHandler(AudioChunkHandler handler) {
    auto shared = std::make_shared<const AudioChunkHandler>(std::move(handler));
    std::lock_guard guard(mutex_);
    if (!accepting_) return;
    handler_.swap(shared);
    // The replaced handler (now in `shared`) is released outside the lock.
}

void VoiceProcessingDeliveryGate::closeAndWait() {
    std::shared_ptr<const AudioChunkHandler> dropped;
    {
        std::unique_lock guard(mutex_);
        accepting_ = false;
        dropped = std::move(handler_);
        const auto closing = generation_;
        drained_.wait(guard, [&] { return generation_ != closing || inFlight_ <= 0; });
    }
}

// MARK: capture

std::shared_ptr<VoiceProcessingAudioCapture> VoiceProcessingAudioCapture::create(
    VoiceProcessingAudioCaptureDependencies dependencies) {
    return std::shared_ptr<VoiceProcessingAudioCapture>(new VoiceProcessingAudioCapture(std::move(dependencies)));
}

VoiceProcessingAudioCapture::VoiceProcessingAudioCapture(VoiceProcessingAudioCaptureDependencies dependencies)
    : engines_(std::move(dependencies.engines)),
      devices_(std::move(dependencies.devices)),
      microphonePermission_(std::move(dependencies.microphonePermission)),
      mainLoop_(dependencies.mainLoop),
      ids_(dependencies.ids ? std::move(dependencies.ids) : std::make_shared<SystemIdGenerator>()),
      recoveryQueue_(dependencies.recoveryQueue ? std::move(dependencies.recoveryQueue)
                                                : std::make_shared<SerialQueue>(kRecoveryQueueLabel)) {}

VoiceProcessingAudioCapture::~VoiceProcessingAudioCapture() {
    if (TapBlockScope::active()) {
        endOnTheAudioThread();
    } else {
        reset();
    }
}

// The last owner let go inside a tap block (a chunk callback that drops the
// capture, say), so this runs on the audio thread, where the engine may be
// neither stopped nor have its tap removed (AudioEngine.h). The run ends here;
// the engine is torn down on the recovery queue, which the teardown keeps
// alive until it has run.
void VoiceProcessingAudioCapture::endOnTheAudioThread() {
    std::shared_ptr<AudioEngine> engine;
    {
        std::lock_guard guard(lock_);
        engine = std::move(engine_);
        engine_.reset();
        engineID_.reset();
        running_ = false;
        liveness_.reset();
    }
    watchdog_.cancel();
    // The block that let go has already left the gate, so nothing is waited for here.
    deliveryGate_.closeAndWait();
    auto queue = recoveryQueue_;
    std::shared_ptr<AudioEngine::Observation> observer = std::move(configurationObserver_);
    queue->post([queue, engine = std::move(engine), observer = std::move(observer)]() mutable {
        if (engine) engine->stop();
        observer.reset();
        if (engine) {
            engine->removeTap();
            engine->reset();
        }
    });
}

MonotonicTime VoiceProcessingAudioCapture::now() const { return recoveryQueue_->clock().now(); }

std::uint32_t VoiceProcessingAudioCapture::tapBufferSize(double sampleRate) {
    // lround rounds halves away from zero.
    return static_cast<std::uint32_t>(std::max(std::lround(sampleRate * Seconds(kChunk).count()), 1L));
}

AudioChunk VoiceProcessingAudioCapture::mixDown(const AudioPCMBuffer& buffer) {
    const std::size_t frames = buffer.frameLength;
    AudioChunk chunk(frames * sizeof(float));
    if (buffer.channelCount == 1) {
        std::memcpy(chunk.data(), buffer.floatChannelData[0], chunk.size());
        return chunk;
    }
    std::vector<float> mono(frames, 0.0f);
    const auto channels = static_cast<float>(buffer.channelCount);
    for (std::uint32_t channel = 0; channel < buffer.channelCount; ++channel) {
        const float* samples = buffer.floatChannelData[channel];
        for (std::size_t frame = 0; frame < frames; ++frame) mono[frame] += samples[frame] / channels;
    }
    std::memcpy(chunk.data(), mono.data(), chunk.size());
    return chunk;
}

std::optional<VoiceProcessingAudioCaptureError> VoiceProcessingAudioCapture::validatePermission() const {
    // Only reads the status: asking the user belongs to the permission centre.
    switch (microphonePermission_->authorizationStatus()) {
        case MicrophoneAuthorizationStatus::authorized: return std::nullopt;
        case MicrophoneAuthorizationStatus::notDetermined: return captureError(Case::permissionNotDetermined);
        case MicrophoneAuthorizationStatus::denied: return captureError(Case::permissionDenied);
        case MicrophoneAuthorizationStatus::restricted: break;
    }
    return captureError(Case::permissionRestricted);
}

std::optional<int> VoiceProcessingAudioCapture::preparedSampleRate() const {
    std::lock_guard guard(lock_);
    if (!inputFormat_) return std::nullopt;
    return roundedSampleRate(*inputFormat_);
}

VoiceProcessingAudioCapture::Outcome VoiceProcessingAudioCapture::prepare(NativeAudioCaptureMode mode,
                                                                          std::optional<AudioDeviceID> inputDeviceID) {
    std::lock_guard lifecycle(lifecycleLock_);
    {
        std::lock_guard guard(lock_);
        if (running_ && inputFormat_ && engine_) return roundedSampleRate(*inputFormat_);
    }
    reset();
    if (auto denied = validatePermission()) return std::unexpected(*denied);
    return buildEngine(mode, inputDeviceID);
}

// Everything is built in locals and stored only at the end, so a failure on
// the way leaves the capture as reset left it.
VoiceProcessingAudioCapture::Outcome VoiceProcessingAudioCapture::buildEngine(
    NativeAudioCaptureMode mode, std::optional<AudioDeviceID> inputDeviceID) {
    const auto device = inputDeviceID ? inputDeviceID : readDefaultDevice(*devices_, DefaultAudioDevice::input);
    if (!device || !NativeAudioRoute::inputDeviceIsAvailable(*device, *devices_)) {
        return failure(Case::inputDeviceUnavailable);
    }

    auto engine = engines_->makeEngine();
    if (!engine) return failure(Case::engineUnavailable);
    const bool voiceProcessed = mode == NativeAudioCaptureMode::voiceProcessed;
    if (voiceProcessed) {
        if (auto enabled = engine->setVoiceProcessingEnabled(true); !enabled) {
            return std::unexpected(VoiceProcessingAudioCaptureError::voiceProcessingUnavailable(enabled.error().domain,
                                                                                                enabled.error().code));
        }
    }
    if (inputDeviceID) {
        if (!engine->hasInputAudioUnit()) return failure(Case::engineUnavailable);
        if (!engine->setCurrentInputDevice(*device)) return failure(Case::inputDeviceUnavailable);
    }
    if (voiceProcessed && engine->supportsOtherAudioDucking()) {
        // Voice processing would otherwise turn down every other application's audio.
        engine->setOtherAudioDucking(false, OtherAudioDuckingLevel::minimum);
    }

    const AudioInputFormat format = engine->inputFormat();
    if (!isSupported(format)) return failure(Case::unsupportedInputFormat);

    const std::string engineID = ids_->uuid();
    std::weak_ptr<VoiceProcessingAudioCapture> weak = weak_from_this();
    engine->installTap(tapBufferSize(format.sampleRate), format, [weak, engineID](const AudioPCMBuffer& buffer) {
        // Declared first so that it still marks the thread when `self`, maybe
        // the capture's last owner by then, lets go.
        const TapBlockScope onTheAudioThread;
        if (auto self = weak.lock()) self->emit(buffer, engineID);
    });
    engine->prepare();

    const auto output = voiceProcessed ? readDefaultDevice(*devices_, DefaultAudioDevice::output) : std::nullopt;
    {
        std::lock_guard guard(lock_);
        engine_ = engine;
        engineID_ = engineID;
        needsFreshPreparation_ = false;
        inputFormat_ = format;
        mode_ = mode;
        requestedInputDeviceID_ = inputDeviceID;
        preparedInputDeviceID_ = device;
        preparedOutputDeviceID_ = output;
    }

    // The notification may come from any thread; the work belongs on the recovery queue.
    configurationObserver_ = engine->observeConfigurationChanges([weak, engineID] {
        auto self = weak.lock();
        if (!self) return;
        self->recoveryQueue_->post([weak, engineID] {
            if (auto capture = weak.lock()) capture->configurationChanged(engineID);
        });
    });
    return roundedSampleRate(format);
}

VoiceProcessingAudioCapture::Outcome VoiceProcessingAudioCapture::start(AudioChunkHandler onChunk,
                                                                        AudioCaptureFailureHandler onFailure) {
    std::lock_guard lifecycle(lifecycleLock_);
    if (auto denied = validatePermission()) return std::unexpected(*denied);

    bool needsPreparation = false;
    NativeAudioCaptureMode mode{};
    std::optional<AudioDeviceID> requestedDevice;
    {
        std::lock_guard guard(lock_);
        needsPreparation = !engine_ || needsFreshPreparation_;
        mode = mode_;
        requestedDevice = requestedInputDeviceID_;
    }
    if (needsPreparation) {
        if (auto prepared = prepare(mode, requestedDevice); !prepared) return prepared;
    }

    int sampleRate = 0;
    bool wasRunning = false;
    std::shared_ptr<AudioEngine> engine;
    std::string engineID;
    std::string runGeneration;
    AudioCaptureFailureHandler replacedFailureHandler;
    {
        std::lock_guard guard(lock_);
        if (!engine_ || !inputFormat_ || !engineID_) return failure(Case::engineUnavailable);
        sampleRate = roundedSampleRate(*inputFormat_);
        wasRunning = running_;
        pendingFailureID_.reset();
        replacedFailureHandler = std::exchange(onFailure_, std::move(onFailure));
        engine = engine_;
        engineID = *engineID_;
        if (!wasRunning) {
            liveness_.emplace(ids_->uuid(), now());
            runGeneration = liveness_->generation;
        }
    }
    if (wasRunning) {
        deliveryGate_.updateHandler(std::move(onChunk));
        return sampleRate;
    }

    deliveryGate_.begin(std::move(onChunk));
    if (auto started = engine->start(); !started) {
        reset();
        return std::unexpected(
            VoiceProcessingAudioCaptureError::engineStartFailed(started.error().domain, started.error().code));
    }
    {
        std::lock_guard guard(lock_);
        running_ = true;
    }
    // Timers of the recovery queue are armed on its own thread.
    std::weak_ptr<VoiceProcessingAudioCapture> weak = weak_from_this();
    recoveryQueue_->post([weak, engineID, runGeneration] {
        if (auto self = weak.lock()) self->armWatchdog(engineID, runGeneration);
    });
    return sampleRate;
}

void VoiceProcessingAudioCapture::armWatchdog(const std::string& engineID, const std::string& runGeneration) {
    std::lock_guard lifecycle(lifecycleLock_);
    {
        std::lock_guard guard(lock_);
        // A stop (or a stop and a new start) may have come first.
        if (engineID_ != engineID || !running_ || !liveness_ || liveness_->generation != runGeneration) return;
    }
    std::weak_ptr<VoiceProcessingAudioCapture> weak = weak_from_this();
    watchdog_ = recoveryQueue_->every(kWatchdogInterval, [weak, engineID] {
        if (auto self = weak.lock()) self->checkHealth(engineID);
    });
}

void VoiceProcessingAudioCapture::emit(const AudioPCMBuffer& buffer, const std::string& engineID) {
    deliveryGate_.withHandler([&](const AudioChunkHandler& handler) {
        if (!buffer.floatChannelData || buffer.frameLength == 0) return;
        {
            std::lock_guard guard(lock_);
            if (engineID_ != engineID || !liveness_) return;
            liveness_->receivedBuffer(liveness_->generation, buffer.frameLength, now());
        }
        handler(mixDown(buffer));
    });
}

void VoiceProcessingAudioCapture::checkHealth(const std::string& engineID) {
    std::lock_guard lifecycle(lifecycleLock_);
    std::optional<NativeAudioCaptureLiveness::Failure> liveness;
    std::shared_ptr<AudioEngine> engine;
    std::optional<AudioDeviceID> preparedInput;
    std::optional<AudioDeviceID> preparedOutput;
    bool followsDefaultInput = false;
    NativeAudioCaptureMode mode{};
    {
        std::lock_guard guard(lock_);
        if (engineID_ != engineID || !running_ || !engine_) return;
        if (liveness_) liveness = liveness_->failure(now());
        engine = engine_;
        preparedInput = preparedInputDeviceID_;
        followsDefaultInput = !requestedInputDeviceID_;
        preparedOutput = preparedOutputDeviceID_;
        mode = mode_;
    }
    // A changed route explains silence too, and tells the user more.
    if (routeChanged(engine, preparedInput, followsDefaultInput, preparedOutput, mode)) {
        fail(captureError(Case::routeChanged), engineID);
    } else if (liveness == NativeAudioCaptureLiveness::Failure::noAudioBuffers) {
        fail(captureError(Case::noAudioBuffers), engineID);
    } else if (liveness == NativeAudioCaptureLiveness::Failure::audioInterrupted) {
        fail(captureError(Case::audioInterrupted), engineID);
    }
}

bool VoiceProcessingAudioCapture::routeChanged(const std::shared_ptr<AudioEngine>& engine,
                                               std::optional<AudioDeviceID> preparedInput, bool followsDefaultInput,
                                               std::optional<AudioDeviceID> preparedOutput,
                                               NativeAudioCaptureMode mode) const {
    if (!preparedInput || !NativeAudioRoute::inputDeviceIsAvailable(*preparedInput, *devices_)) return true;
    if (followsDefaultInput && readDefaultDevice(*devices_, DefaultAudioDevice::input) != preparedInput) return true;
    if (mode == NativeAudioCaptureMode::voiceProcessed &&
        readDefaultDevice(*devices_, DefaultAudioDevice::output) != preparedOutput) {
        // Covers a recorded output that went away or changed, and a new output
        // appearing where there was none.
        return true;
    }
    return !engine->isRunning();
}

void VoiceProcessingAudioCapture::configurationChanged(const std::string& engineID) {
    std::lock_guard lifecycle(lifecycleLock_);
    bool wasRunning = false;
    {
        std::lock_guard guard(lock_);
        if (engineID_ != engineID) return;
        wasRunning = running_;
    }
    if (wasRunning) {
        fail(captureError(Case::routeChanged), engineID);
    } else {
        // The prepared engine no longer matches the hardware; the next start builds a new one.
        reset();
    }
}

void VoiceProcessingAudioCapture::fail(const VoiceProcessingAudioCaptureError& error, const std::string& engineID) {
    std::lock_guard lifecycle(lifecycleLock_);
    AudioCaptureFailureHandler onFailure;
    {
        std::lock_guard guard(lock_);
        // At most one failure per run.
        if (engineID_ != engineID || !running_) return;
        onFailure = onFailure_;
    }
    reset();
    const std::string failureID = ids_->uuid();
    {
        std::lock_guard guard(lock_);
        pendingFailureID_ = failureID;
    }
    if (!onFailure) return;
    std::weak_ptr<VoiceProcessingAudioCapture> weak = weak_from_this();
    mainLoop_.post([weak, failureID, onFailure = std::move(onFailure), error] {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard guard(self->lock_);
            // A start or stop since then has made this failure stale.
            if (self->pendingFailureID_ != failureID) return;
            self->pendingFailureID_.reset();
        }
        onFailure(error);
    });
}

void VoiceProcessingAudioCapture::stop() {
    std::lock_guard lifecycle(lifecycleLock_);
    std::shared_ptr<AudioEngine> engine;
    {
        std::lock_guard guard(lock_);
        engine = engine_;
        pendingFailureID_.reset();
    }
    watchdog_.cancel();
    if (engine) engine->stop();
    deliveryGate_.closeAndWait();
    AudioCaptureFailureHandler dropped;
    {
        std::lock_guard guard(lock_);
        running_ = false;
        liveness_.reset();
        dropped = std::move(onFailure_);
        onFailure_ = nullptr;
        needsFreshPreparation_ = true;
    }
}

void VoiceProcessingAudioCapture::reset() {
    std::lock_guard lifecycle(lifecycleLock_);
    stop();
    configurationObserver_.reset();
    std::shared_ptr<AudioEngine> engine;
    {
        std::lock_guard guard(lock_);
        engine = std::move(engine_);
        engine_.reset();
        engineID_.reset();
        inputFormat_.reset();
        preparedInputDeviceID_.reset();
        preparedOutputDeviceID_.reset();
    }
    if (engine) {
        engine->removeTap();
        engine->reset();
    }
}

}  // namespace murmo
