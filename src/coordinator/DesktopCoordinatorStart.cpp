// From the key press to the engine recording: the shortcut's actions, the
// operation's opening with its focus target, the microphone and the start
// request, the later focus capture, and the operation's clearing.

#include <chrono>

#include "coordinator/DesktopCoordinator.h"
#include "runtime/Task.h"

namespace murmo {

namespace {

constexpr std::string_view kPolicyNoEditable = "no_editable";
constexpr std::string_view kPolicyBoth = "both";

CaptureFailureDetail settingsLoading() {
    return {"audio_settings_loading", "Audio settings are still loading. Please try again."};
}

CaptureFailureDetail audioServiceUnavailable() {
    return {"audio_service_unavailable",
            "Dorvex is paused or its local audio service is not ready. Resume Dorvex and try again."};
}

CaptureFailureDetail inputDeviceUnavailable() {
    return {"input_device_unavailable",
            "The selected microphone is no longer available. Choose an available microphone or the system default."};
}

// Milliseconds since `reference`, or -1 when there is none yet or it lies
// after `at`.
double millisecondsSince(const std::optional<MonotonicTime>& reference, MonotonicTime at) {
    if (!reference || *reference > at) return -1;
    return toMilliseconds(at - *reference);
}

// The log's view of a capture error: its code, and the platform's error
// behind it where there is one.
struct CaptureErrorOrigin {
    std::string domain;
    long code = 0;
};

CaptureErrorOrigin originOf(const VoiceProcessingAudioCaptureError& error) {
    using Case = VoiceProcessingAudioCaptureError::Case;
    if (error.kind == Case::engineStartFailed || error.kind == Case::voiceProcessingUnavailable) {
        return {error.platformDomain, error.platformCode};
    }
    const auto asError = error.toError();
    return {asError.domain, asError.code};
}

}  // namespace

HUDOperationPurpose DesktopCoordinator::hudPurpose() const {
    return operation_.operationMode == OperationMode::agent ? HUDOperationPurpose::agent
                                                            : HUDOperationPurpose::dictation;
}

bool DesktopCoordinator::ownApplicationIsFrontmost() {
    const auto frontmost = ports_.workspace.frontmostApplication();
    return frontmost && frontmost->processIdentifier == ports_.workspace.ownProcessIdentifier();
}

void DesktopCoordinator::handleShortcutAction(ShortcutPurpose purpose, ShortcutAction action, MonotonicTime arose) {
    if (shuttingDown_ || paused_ || !shortcutEnabled_ || shortcutCaptureInProgress()) return;
    switch (action) {
        case ShortcutAction::pressed: begin(purpose, arose); return;
        case ShortcutAction::released: finish(arose); return;
        case ShortcutAction::cancelled:
            finishOperationSound(DictationFeedbackTerminalOutcome::cancelled);
            requestTerminal(TerminalIntent::cancel, std::nullopt);
            return;
    }
}

void DesktopCoordinator::begin(ShortcutPurpose purpose, MonotonicTime pressTime) {
    // One operation at a time, and none while any audio stream still runs.
    if (operation_.operationID || webAudioOperationID_ || nativeAudioOperationID_ ||
        nativeAudioFinalizationOperationID_) {
        return;
    }
    if (purpose == ShortcutPurpose::agent && !agentModeEnabled_) return;

    // A closed operation's record is pristine: clearOperation() reset it.
    const auto operationID = ports_.ids.uuid();
    operation_.operationID = operationID;
    operation_.targetID = ports_.ids.uuid();
    focusCaptureState_.reset();
    agentSpeech_->cancel();
    hud_->hideAgentAnswer(true);
    operation_.operationMode = purpose == ShortcutPurpose::agent ? OperationMode::agent : OperationMode::dictation;

    FocusHostMetadata pressTimeHost;
    std::optional<FocusReservation> reservation;
    reservePressTarget(purpose, pressTimeHost, reservation);

    operation_.pressedMonotonicNanoseconds = pressTime;
    beginAuthorizedCapture(operationID, operation_.targetID, pressTime, reservation, pressTimeHost);
}

void DesktopCoordinator::reservePressTarget(ShortcutPurpose purpose, FocusHostMetadata& pressTimeHost,
                                            std::optional<FocusReservation>& reservation) {
    if (purpose == ShortcutPurpose::dictation) {
        operation_.internalDictation = ownApplicationIsFrontmost();
        if (operation_.internalDictation && reserveInternalDictation) reserveInternalDictation(*operation_.operationID);
    }
    if (purpose == ShortcutPurpose::agent || operation_.internalDictation) return;

    reservation = injector_->reserve(*operation_.targetID);
    const bool focusMayRouteToAgent =
        agentModeEnabled_ && (agentActivationPolicy_ == kPolicyNoEditable || agentActivationPolicy_ == kPolicyBoth);
    switch (reservation->kind()) {
        case FocusReservation::Kind::ready: {
            const auto& snapshot = *reservation->snapshot();
            operation_.target = snapshot;
            logCapturedTarget(snapshot);
            pressTimeHost = {snapshot.bundleIdentifier, snapshot.applicationName};
            return;
        }
        case FocusReservation::Kind::failed: {
            const auto failure = *reservation->failure();
            pressTimeHost = injector_->lastReservationHostMetadata().value_or(FocusHostMetadata{});
            if (focusMayRouteToAgent && failure == CaptureFailure::notEditable) {
                operation_.operationMode = OperationMode::agent;
                operation_.targetID.reset();
                deliveryLog_.notice("Routing shortcut to Agent because focus is not editable");
                return;
            }
            operation_.captureFailure = failure;
            deliveryLog_.error("Focus capture failed reason={}", logPublic(reasonCode(failure)));
            return;
        }
        case FocusReservation::Kind::warming: {
            const auto& pin = *reservation->pin();
            pressTimeHost = {pin.bundleIdentifier, pin.applicationName};
            operation_.targetCapturePin = pin;
            operation_.targetCapturePending = true;
            if (focusMayRouteToAgent) operation_.operationMode = OperationMode::pending;
            return;
        }
    }
}

void DesktopCoordinator::logCapturedTarget(const FocusTargetSnapshot& snapshot) const {
    deliveryLog_.notice("Captured focus target app={} pid={} attempts={} elapsed_ms={}",
                        logPublic(snapshot.bundleIdentifier.value_or("unknown")), logPublic(snapshot.pid),
                        logPublic(snapshot.captureAttempts), logPublic(toMilliseconds(snapshot.captureElapsed)));
}

void DesktopCoordinator::beginAuthorizedCapture(const std::string& operationID,
                                                const std::optional<std::string>& targetID, MonotonicTime pressTime,
                                                const std::optional<FocusReservation>& reservation,
                                                const FocusHostMetadata& pressTimeHost) {
    if (!isCurrentOperation(operationID)) return;
    if (audioSettings_.liveDictationRequested && operation_.operationMode == OperationMode::dictation &&
        !operation_.internalDictation) {
        operation_.liveWriter = factories_.liveWriter ? factories_.liveWriter() : nullptr;
        deliveryLog_.notice("Live capture armed={}", logPublic(operation_.liveWriter != nullptr));
    }
    soundFeedback_->beginOperation(operationID);
    pressedAt_ = now();
    hud_->showListening(hudPurpose());
    deliveryLog_.notice("Shortcut started purpose={} operation={}", logPublic(rawValue(operation_.operationMode)),
                        logHashed(operationID));
    logNativeTiming("fn_received", pressTime, operationID, std::nullopt);

    auto capture = startNativeCapture(operationID);
    if (!capture) {
        // The system asks the user once; this dictation does not wait for it.
        if (ports_.microphonePermission->authorizationStatus() == MicrophoneAuthorizationStatus::notDetermined) {
            ports_.microphonePermission->requestAccess([](bool) {});
        }
        fail(localizedNativeError(capture.error()));
        return;
    }
    postStartRequest(operationID, pressTime, *capture, pressTimeHost);

    if (reservation && reservation->kind() == FocusReservation::Kind::warming && targetID) {
        startTargetCapture(*reservation->pin(), FocusCapturePhase::activation, focusCaptureState_.generation());
    }
}

void DesktopCoordinator::postStartRequest(const std::string& operationID, MonotonicTime pressTime,
                                          const NativeCaptureStart& capture, const FocusHostMetadata& pressTimeHost) {
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    auto completion = [weak, operationID](Result<DictationCommandResponse> reply) {
        if (auto self = weak.lock()) self->startCompleted(reply, operationID);
    };
    const std::optional<std::string> hostName =
        pressTimeHost.applicationName.empty() ? std::nullopt : std::optional(pressTimeHost.applicationName);
    switch (operation_.operationMode) {
        case OperationMode::dictation:
            client_->createDictation(operationID, pressTime, pressTimeHost.bundleIdentifier, hostName,
                                     capture.audioSource, capture.sampleRate, std::move(completion));
            return;
        case OperationMode::agent:
            client_->createAgentOperation(operationID, pressTime, capture.audioSource, capture.sampleRate,
                                          std::move(completion));
            return;
        case OperationMode::pending:
            client_->createPendingAgentOperation(operationID, pressTime, pressTimeHost.bundleIdentifier, hostName,
                                                 capture.audioSource, capture.sampleRate, std::move(completion));
            return;
    }
}

std::expected<DesktopCoordinator::NativeCaptureStart, NativeFailure> DesktopCoordinator::startNativeCapture(
    const std::string& operationID) {
    if (!audioSettingsReady_) return std::unexpected(settingsLoading());
    if (!connected_ || shuttingDown_ || paused_) return std::unexpected(audioServiceUnavailable());

    std::optional<AudioDeviceID> device;
    if (audioSettings_.configuredAudioDevice) {
        const auto& name = audioSettings_.configuredAudioDeviceName;
        if (!name || name->empty()) return std::unexpected(inputDeviceUnavailable());
        auto resolved = NativeAudioRoute::resolveInputDevice(*name, *ports_.audioDevices);
        if (!resolved) return std::unexpected(resolved.error());
        device = *resolved;
    }

    // Voice processing only with the machine's own microphone and speakers
    // and no device chosen; raw capture is the fallback.
    std::vector<NativeAudioCaptureMode> candidates{NativeAudioCaptureMode::raw};
    if (audioSettings_.backgroundNoiseReductionEnabled && audioSettings_.backgroundNoiseReductionAvailable &&
        !audioSettings_.configuredAudioDevice &&
        NativeAudioRoute::defaultDeviceIsBuiltin(DefaultAudioDevice::input, *ports_.audioDevices) &&
        NativeAudioRoute::defaultDeviceIsBuiltin(DefaultAudioDevice::output, *ports_.audioDevices)) {
        candidates.insert(candidates.begin(), NativeAudioCaptureMode::voiceProcessed);
    }

    for (std::size_t index = 0; index < candidates.size(); ++index) {
        auto started = startNativeCaptureMode(operationID, candidates[index], device);
        if (started) return started;
        // Another mode is tried only for a microphone the user allowed: a
        // refusal stays a refusal.
        const bool lastCandidate = index + 1 == candidates.size();
        if (lastCandidate ||
            ports_.microphonePermission->authorizationStatus() != MicrophoneAuthorizationStatus::authorized) {
            return started;
        }
    }
    return std::unexpected(CaptureFailureDetail{
        "audio_engine_unavailable", "The audio engine could not start. Check the selected microphone and try again."});
}

std::expected<DesktopCoordinator::NativeCaptureStart, NativeFailure> DesktopCoordinator::startNativeCaptureMode(
    const std::string& operationID, NativeAudioCaptureMode mode, std::optional<AudioDeviceID> device) {
    auto outcome = voiceProcessingCapture_->prepare(mode, device);
    if (outcome) {
        const auto generation = ports_.ids.uuid();
        nativeAudioCaptureGeneration_ = generation;
        nativeAudioOperationID_ = operationID;
        std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
        MainLoop* loop = &ports_.loop;
        // Chunks arrive on the audio thread; each is sent from the main loop,
        // and only while this run is still the operation's stream.
        auto onChunk = [weak, loop, operationID, generation](AudioChunk chunk) {
            loop->post([weak, operationID, generation, chunk = std::move(chunk)]() mutable {
                auto self = weak.lock();
                if (self && self->nativeAudioOperationID_ == operationID &&
                    self->nativeAudioCaptureGeneration_ == generation) {
                    self->client_->sendNativeAudio(std::move(chunk));
                }
            });
        };
        auto onFailure = [weak, operationID, generation](const VoiceProcessingAudioCaptureError& error) {
            auto self = weak.lock();
            if (self && self->nativeAudioOperationID_ == operationID &&
                self->nativeAudioCaptureGeneration_ == generation) {
                self->nativeCaptureFailed(operationID, error);
            }
        };
        outcome = voiceProcessingCapture_->start(std::move(onChunk), std::move(onFailure));
    }
    if (outcome) {
        client_->beginNativeAudio(operationID, *outcome);
        const std::string source =
            mode == NativeAudioCaptureMode::voiceProcessed ? "native_voice_processing" : "native_raw";
        deliveryLog_.notice("Native microphone started source={} sample_rate={}", logPublic(source),
                            logPublic(*outcome));
        return NativeCaptureStart{source, *outcome};
    }

    const auto& error = outcome.error();
    voiceProcessingCapture_->reset();
    if (nativeAudioOperationID_ == operationID) {
        nativeAudioOperationID_.reset();
        nativeAudioCaptureGeneration_.reset();
    }
    const auto origin = originOf(error);
    deliveryLog_.error("Native audio start failed reason={} domain={} code={}", logPublic(error.code()),
                       logPublic(origin.domain), logPublic(origin.code));
    return std::unexpected(error);
}

void DesktopCoordinator::nativeCaptureFailed(const std::string& operationID,
                                             const VoiceProcessingAudioCaptureError& error) {
    if (webAudioOperationID_ == operationID) {
        finishNativeAudio(operationID, true);
        client_->cancelDictation(operationID);
        if (onWebAudioFailure) onWebAudioFailure(operationID, std::string(error.code()), localizedNativeError(error));
        return;
    }
    if (!isCurrentOperation(operationID)) return;
    operation_.pendingFailureMessage = localizedNativeError(error);
    finishOperationSound(DictationFeedbackTerminalOutcome::error);
    hud_->showError();
    requestTerminal(TerminalIntent::cancel, std::nullopt);
}

void DesktopCoordinator::startCompleted(const Result<DictationCommandResponse>& reply, const std::string& operationID) {
    if (!isCurrentOperation(operationID)) return;
    const bool agent = operation_.operationMode == OperationMode::agent;
    if (!reply) {
        deliveryLog_.error("Operation start purpose={} detail={}", logPublic(rawValue(operation_.operationMode)),
                           logPrivate(reply.error().message));
        cancelAfterAmbiguousStart(agent ? strings().agentCouldNotComplete() : strings().dictationStartFailed());
        return;
    }
    if (reply->operationID != operationID) {
        cancelAfterAmbiguousStart(strings().coreStartAcknowledgementMismatch());
        return;
    }
    const auto& intent = operation_.terminal.intent();
    if (reply->phase == "recording") {
        if (intent != TerminalIntent::cancel) soundFeedback_->startAccepted(operationID);
        return;
    }
    // A reply that comes after the user already let go may show a later phase.
    if (intent) return;
    cancelAfterAmbiguousStart(strings().coreRecordingStateFailed());
}

void DesktopCoordinator::cancelAfterAmbiguousStart(const std::string& message) {
    operation_.pendingFailureMessage = message;
    finishOperationSound(DictationFeedbackTerminalOutcome::error);
    // Through the ordinary cancel: the microphone stops at once, and a cancel
    // already on its way is not sent a second time.
    requestTerminal(TerminalIntent::cancel, std::nullopt);
}

void DesktopCoordinator::startTargetCapture(const FocusHostPin& pin, FocusCapturePhase phase,
                                            const std::string& generation) {
    CancelToken cancel;
    if (operation_.targetCaptureTask) operation_.targetCaptureTask->cancel();
    operation_.targetCaptureTask = cancel;
    auto capture = phase == FocusCapturePhase::activation ? injector_->finishCapture(pin, cancel)
                                                          : injector_->finishCaptureForFinalization(pin, cancel);
    spawn(runTargetCapture(weak_from_this(), std::move(capture), cancel, *operation_.operationID,
                           operation_.targetID.value_or(""), generation));
}

Task<void> DesktopCoordinator::runTargetCapture(std::weak_ptr<DesktopCoordinator> weak, Task<CaptureResult> capture,
                                                CancelToken cancel, std::string operationID, std::string targetID,
                                                std::string generation) {
    auto result = co_await std::move(capture);
    if (cancel.isCancelled()) co_return;
    if (auto self = weak.lock()) self->focusCaptureCompleted(result, operationID, targetID, generation);
}

void DesktopCoordinator::focusCaptureCompleted(const CaptureResult& result, const std::string& operationID,
                                               const std::string& targetID, const std::string& generation) {
    if (!isCurrentOperation(operationID) || operation_.targetID != targetID ||
        !focusCaptureState_.accepts(generation)) {
        return;
    }
    operation_.targetCaptureTask.reset();
    operation_.targetCapturePending = false;
    const bool pending = operation_.operationMode == OperationMode::pending;

    if (!result) {
        const auto failure = result.error();
        const bool routesToAgent =
            pending && failure == CaptureFailure::notEditable && agentModeEnabled_ &&
            (agentActivationPolicy_ == kPolicyNoEditable || agentActivationPolicy_ == kPolicyBoth);
        if (routesToAgent) {
            operation_.targetCapturePin.reset();
            operation_.target.reset();
            operation_.captureFailure.reset();
            operation_.targetID.reset();
            deliveryLog_.notice("Routing shortcut to Agent after deterministic focus result");
            resolvePendingOperationMode(OperationMode::agent, operationID);
            return;
        }
        if (pending) resolvePendingOperationMode(OperationMode::dictation, operationID);
        operation_.target.reset();
        operation_.captureFailure = failure;
        deliveryLog_.error("Focus capture failed reason={}", logPublic(reasonCode(failure)));
    } else {
        if (pending) resolvePendingOperationMode(OperationMode::dictation, operationID);
        operation_.targetCapturePin.reset();
        operation_.target = *result;
        operation_.captureFailure.reset();
        logCapturedTarget(*result);
    }

    if (operation_.pendingFinalText) {
        handleFinal(*std::exchange(operation_.pendingFinalText, std::nullopt), operationID, std::nullopt);
    }
}

void DesktopCoordinator::resolvePendingOperationMode(OperationMode mode, const std::string& operationID) {
    if (!isCurrentOperation(operationID) || operation_.operationMode != OperationMode::pending ||
        mode == OperationMode::pending) {
        return;
    }
    operation_.operationMode = mode;
    if (operation_.terminal.intent() == TerminalIntent::release) {
        hud_->showProcessing(hudPurpose());
    } else {
        hud_->showListening(hudPurpose());
    }
    deliveryLog_.notice("Shortcut purpose resolved purpose={} operation={}", logPublic(rawValue(mode)),
                        logHashed(operationID));
    const bool agent = mode == OperationMode::agent;
    if (agent) operation_.agentModeResolutionPending = true;

    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    client_->resolveAgentOperationMode(
        operationID, std::string(rawValue(mode)), [weak, operationID, agent](Result<DictationCommandResponse> reply) {
            auto self = weak.lock();
            if (!self || !self->isCurrentOperation(operationID)) return;
            if (agent) self->operation_.agentModeResolutionPending = false;
            if (!reply) {
                self->deliveryLog_.error("Agent mode resolution failed detail={}", logPrivate(reply.error().message));
                if (agent) self->cancelAfterAmbiguousStart(self->strings().agentCouldNotComplete());
                return;
            }
            self->sendTerminalIfReady();
        });
}

void DesktopCoordinator::finish(MonotonicTime releaseTime) {
    if (!operation_.operationID || operation_.terminal.intent()) return;
    const auto operationID = *operation_.operationID;
    captureDeliveryTargetAtRelease();
    operation_.releasedMonotonicNanoseconds = releaseTime;
    logNativeTiming("fn_released", releaseTime, operationID, std::nullopt);
    hud_->showProcessing(hudPurpose());
    armProcessingWatchdog(operationID);
    requestTerminal(TerminalIntent::release, releaseTime);
}

void DesktopCoordinator::clearOperation() {
    if (operation_.liveWriter) operation_.liveWriter->stop();
    operation_.liveWriter.reset();
    focusCaptureState_.reset();
    if (operation_.internalDictation && operation_.operationID && cancelInternalDictation) {
        cancelInternalDictation(*operation_.operationID);
    }
    operation_.internalDictation = false;
    // The dashboard's recording has its own end.
    const auto stream = nativeAudioOperationID_ ? nativeAudioOperationID_ : nativeAudioFinalizationOperationID_;
    if (stream && stream != webAudioOperationID_) finishNativeAudio(*stream, true);
    if (operation_.targetCaptureTask) operation_.targetCaptureTask->cancel();
    operation_ = OperationRecord{};
    if (pendingShortcutSettings_) applyShortcutSettings(*std::exchange(pendingShortcutSettings_, std::nullopt));
}

void DesktopCoordinator::logNativeTiming(std::string_view stage, MonotonicTime at, const std::string& operationID,
                                         std::optional<MonotonicTime> sourceTime) const {
    deliveryLog_.notice(
        "Native timing purpose={} stage={} operation={} monotonic_ns={} source_monotonic_ns={} since_fn_ms={} "
        "since_release_ms={} since_final_ms={}",
        logPublic(rawValue(operation_.operationMode)), logPublic(stage), logHashed(operationID),
        logPublic(toUptimeNanoseconds(at)), logPublic(sourceTime ? toUptimeNanoseconds(*sourceTime) : 0),
        logPublic(millisecondsSince(operation_.pressedMonotonicNanoseconds, at)),
        logPublic(millisecondsSince(operation_.releasedMonotonicNanoseconds, at)),
        logPublic(millisecondsSince(operation_.finalReceivedMonotonicNanoseconds, at)));
}

}  // namespace murmo
