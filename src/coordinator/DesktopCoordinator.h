#pragma once

// The one long-lived object that runs dictation for the whole life of the
// application: it brings the engine up (or attaches to one already running),
// keeps the user's shortcut in force as the engine's settings change, pauses
// and resumes on request, says plainly when the engine is gone, and takes
// everything down in a fixed order at quit.
//
// Promises:
// - a shortcut that cannot be listened to never sits there silently: the
//   user hears the error cue, the HUD shows the error, dictation is paused;
// - settings replies are applied in the order they were asked for, so a late
//   reply never brings back a shortcut the engine no longer has;
// - the HUD shows ready only while the engine is running and connected;
// - after shutdown() no engine launched by us is left running, and nothing
//   else happens: every entry point returns at once.
//
// Made with create() and held in a shared_ptr; every callback and delayed
// step holds it weakly and does nothing once it is gone. Main thread only:
// the shortcut router's actions are posted to the main loop first.

#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "coordinator/AgentSpeechController.h"
#include "coordinator/AgentTerminalPayload.h"
#include "coordinator/CoordinatorFailureText.h"
#include "coordinator/CoordinatorSettings.h"
#include "coordinator/DeliveredOperationMemory.h"
#include "coordinator/DesktopCoordinatorDependencies.h"
#include "coordinator/DictationFocusCaptureState.h"
#include "coordinator/NativeAudioCommand.h"
#include "coordinator/TerminalRequestMachine.h"
#include "coordinator/WebAudioReply.h"
#include "delivery/CaptureFailure.h"
#include "delivery/DeliveryResult.h"
#include "delivery/FocusCapture.h"
#include "delivery/FocusReleaseBoundary.h"
#include "delivery/FocusTargetSnapshot.h"
#include "engine/MurmoLaunchConfiguration.h"
#include "input/NativeAudioCapturePolicy.h"
#include "runtime/CancelToken.h"
#include "runtime/Clock.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"
#include "runtime/Task.h"
#include "services/NativeAppLanguage.h"
#include "services/NativeStringCatalog.h"
#include "services/UpdateCoordinator.h"

namespace murmo {

class DesktopCoordinator final : public std::enable_shared_from_this<DesktopCoordinator> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    enum class OperationMode { dictation, agent, pending };
    using TerminalIntent = murmo::TerminalIntent;

    // An internal-editor delivery waiting for its page to report completion.
    struct PendingDeliveryContext {
        std::string targetID;
        bool uiCompleted = false;
    };

    using ShortcutRuntimeSettings = murmo::ShortcutRuntimeSettings;
    using CaptureFailureDetail = murmo::CaptureFailureDetail;
    using Completion = std::function<void()>;
    using WebAudioFailureHandler =
        std::function<void(const std::string& operationID, const std::string& code, const std::string& message)>;
    using InternalDictationDelivery =
        std::function<void(const std::string& operationID, const std::string& text, std::function<void(bool)>)>;

    static constexpr Duration kSettingsPollInterval = std::chrono::seconds(2);
    static constexpr Duration kReadinessTimeout = std::chrono::seconds(20);
    static constexpr Duration kEngineStopGracePeriod = std::chrono::seconds(2);
    static constexpr Duration kSynchronousCancelTimeout = std::chrono::milliseconds(800);
    static constexpr Duration kPasteRestoreDelay = std::chrono::milliseconds(1200);
    static constexpr Duration kShortcutCaptureTimeout = std::chrono::seconds(20);
    // Lookups of an assistant operation released without an answer: the
    // first after 0.25 s, then attempt n after (n + 1) x 0.2 s, up to n = 2.
    static constexpr Duration kFirstAgentLookupDelay = std::chrono::milliseconds(250);
    static constexpr Duration kAgentLookupStep = std::chrono::milliseconds(200);
    static constexpr int kLastAgentLookup = 2;
    static constexpr std::string_view kLogCategory = "delivery";

    // Builds every collaborator (nothing is started; start() does that).
    // `updateCoordinator` may be null.
    static std::shared_ptr<DesktopCoordinator> create(MurmoLaunchConfiguration configuration,
                                                      std::shared_ptr<UpdateCoordinator> updateCoordinator,
                                                      DesktopCoordinatorDependencies dependencies);
    DesktopCoordinator(Passkey, MurmoLaunchConfiguration configuration,
                       std::shared_ptr<UpdateCoordinator> updateCoordinator,
                       DesktopCoordinatorDependencies dependencies);
    ~DesktopCoordinator();
    DesktopCoordinator(const DesktopCoordinator&) = delete;
    DesktopCoordinator& operator=(const DesktopCoordinator&) = delete;

    // Set by the application shell after construction.
    Completion onStatusChange;
    WebAudioFailureHandler onWebAudioFailure;
    std::function<void(const std::string& operationID)> reserveInternalDictation;
    InternalDictationDelivery deliverInternalDictation;
    std::function<void(const std::string& operationID)> cancelInternalDictation;

    // Launches the engine, or attaches to a running one when the
    // configuration says not to launch. Once only.
    void start();
    // Stops everything in order; `completion` runs once all has stopped (at
    // once when no engine was launched). A second call does nothing and never
    // calls its completion.
    void shutdown(Completion completion);
    void pause();
    void resume();
    void togglePaused();
    // After a permission change: starts the shortcut router again if it was
    // what held dictation paused, silently unless it succeeds.
    void retryShortcutMonitorAfterPermissionChange();

    // One command of the dashboard page's recording, answered exactly once
    // through `reply` (which answers on its own if dropped unanswered).
    void handleWebAudio(NativeAudioCommand command, WebAudioReply reply);
    // Abandons the dashboard's recording, if any: its window closed, loads
    // another page or lost its content process.
    void cancelWebAudio();

    void setFlowBarAlwaysVisible(bool visible);
    void setFeedbackSoundsEnabled(bool enabled);
    void setAppearancePreference(const std::string& preference, const std::string& resolved);
    void setApplicationLanguage(NativeAppLanguage language);
    // The shell's one-slot mailboxes for the engine; a newer event replaces
    // one not yet handed over.
    void setPendingExportEvent(std::string event) { pendingExportEvent_ = std::move(event); }
    void setPendingWritingCopyEvent(std::string event) { pendingWritingCopyEvent_ = std::move(event); }

    // The shortcut in English, with " · disabled" when it is switched off.
    std::string shortcutDescription() const;
    // The same in `language`, "disabled" included.
    std::string shortcutDescription(NativeAppLanguage language) const;

    bool paused() const { return paused_; }
    bool connected() const { return connected_; }
    const MurmoLaunchConfiguration& configuration() const { return configuration_; }

    // What the status menu and tests read.
    bool runtimeStarted() const { return runtimeStarted_; }
    bool runtimeStartFailed() const { return runtimeStartFailed_; }
    bool connectionUnavailable() const { return connectionUnavailable_; }
    bool isShuttingDown() const { return shuttingDown_; }
    bool shortcutEnabled() const { return shortcutEnabled_; }
    bool shortcutMonitorStartFailed() const { return shortcutMonitorStartFailed_; }
    const ShortcutChoice& activeShortcut() const { return activeShortcut_; }
    const std::optional<ShortcutChoice>& activeAgentShortcut() const { return activeAgentShortcut_; }
    bool agentModeEnabled() const { return agentModeEnabled_; }
    const std::string& agentActivationPolicy() const { return agentActivationPolicy_; }
    const std::string& agentResponseMode() const { return agentResponseMode_; }
    const std::string& agentTTSVoice() const { return agentTTSVoice_; }
    float agentTTSRate() const { return agentTTSRate_; }
    bool audioSettingsReady() const { return audioSettingsReady_; }
    // The audio settings last applied.
    const CoordinatorAudioSettings& audioSettings() const { return audioSettings_; }
    const std::optional<ShortcutRuntimeSettings>& pendingShortcutSettings() const { return pendingShortcutSettings_; }
    bool isIdle() const { return !operation_.operationID; }
    NativeAppLanguage applicationLanguage() const { return applicationLanguage_; }
    // The router in force (one exists from construction to shutdown).
    const GlobalShortcutRouter* shortcutRouter() const { return monitor_.get(); }

private:
    // The fields of the open operation; clearOperation() returns them to
    // these values.
    struct OperationRecord {
        std::shared_ptr<LiveDictationWriter> liveWriter;
        Timer processingWatchdog;
        std::optional<MonotonicTime> processingDeadlineUptime;
        std::optional<std::string> operationID;
        OperationMode operationMode = OperationMode::dictation;
        bool agentModeResolutionPending = false;
        std::optional<std::string> targetID;
        bool internalDictation = false;
        std::optional<FocusTargetSnapshot> target;
        std::optional<CaptureFailure> captureFailure;
        std::optional<CancelToken> targetCaptureTask;
        std::optional<FocusHostPin> targetCapturePin;
        bool targetCapturePending = false;
        bool finalFocusRetryAttempted = false;
        std::optional<std::string> pendingFinalText;
        // The terminal intent, whether it is in flight, its attempts, and
        // whether the engine finalised the operation by itself.
        TerminalRequestMachine terminal;
        std::optional<std::string> pendingFailureMessage;
        std::optional<std::string> agentRecognizedQuestion;
        bool agentRecoveryScheduled = false;
        bool pauseAfterCancellation = false;
        std::optional<MonotonicTime> pressedMonotonicNanoseconds;
        std::optional<MonotonicTime> releasedMonotonicNanoseconds;
        std::optional<MonotonicTime> finalReceivedMonotonicNanoseconds;
        // The next attempt of a failed terminal request.
        Timer terminalRetry;
        // The next lookup of an assistant operation whose answer is missing.
        Timer agentRecovery;
    };

    void wireCallbacks();
    void replaceRouter(ShortcutChoice dictation, std::optional<ShortcutChoice> agent);
    void wireRouter();
    CoreLaunchProviders launchProviders();
    MonotonicTime now() const { return ports_.loop.clock().now(); }
    void notifyStatusChange() const;

    // Engine lifecycle.
    void launchEngine();
    void engineReadinessEnded(const CoreProcessResult<void>& readiness);
    void engineStartFailed(const std::string& detail);
    void activateRuntime();
    void connectionChanged(bool isConnected);
    void coreTerminatedUnexpectedly(std::int32_t status);

    // Settings.
    void startSettingsPolling();
    void settingsTick();
    void requestShortcutSettings();
    void settingsReplied(std::uint64_t requestNumber, Result<ShortcutSettingsResponse> reply);
    void applyAudioSettings(const ShortcutSettingsResponse& reply);
    void applyShortcutSettings(const ShortcutRuntimeSettings& settings);
    // Starts the router, or says why it cannot: the error cue, the HUD error,
    // dictation held paused. True when it runs.
    bool startRouterOrPause();

    // Operation start: from the key press to the engine recording.
    struct NativeCaptureStart {
        std::string audioSource;
        int sampleRate = 0;
    };
    void handleShortcutAction(ShortcutPurpose purpose, ShortcutAction action, MonotonicTime arose);
    void begin(ShortcutPurpose purpose, MonotonicTime pressTime);
    void reservePressTarget(ShortcutPurpose purpose, FocusHostMetadata& pressTimeHost,
                            std::optional<FocusReservation>& reservation);
    void beginAuthorizedCapture(const std::string& operationID, const std::optional<std::string>& targetID,
                                MonotonicTime pressTime, const std::optional<FocusReservation>& reservation,
                                const FocusHostMetadata& pressTimeHost);
    void postStartRequest(const std::string& operationID, MonotonicTime pressTime, const NativeCaptureStart& capture,
                          const FocusHostMetadata& pressTimeHost);
    std::expected<NativeCaptureStart, NativeFailure> startNativeCapture(const std::string& operationID);
    std::expected<NativeCaptureStart, NativeFailure> startNativeCaptureMode(const std::string& operationID,
                                                                            NativeAudioCaptureMode mode,
                                                                            std::optional<AudioDeviceID> device);
    void nativeCaptureFailed(const std::string& operationID, const VoiceProcessingAudioCaptureError& error);
    void startCompleted(const Result<DictationCommandResponse>& reply, const std::string& operationID);
    void cancelAfterAmbiguousStart(const std::string& message);
    // Runs the focus capture for `pin` as the operation's capture task; its
    // result counts only under `generation`.
    void startTargetCapture(const FocusHostPin& pin, FocusCapturePhase phase, const std::string& generation);
    static Task<void> runTargetCapture(std::weak_ptr<DesktopCoordinator> weak, Task<CaptureResult> capture,
                                       CancelToken cancel, std::string operationID, std::string targetID,
                                       std::string generation);
    void focusCaptureCompleted(const CaptureResult& result, const std::string& operationID, const std::string& targetID,
                               const std::string& generation);
    void resolvePendingOperationMode(OperationMode mode, const std::string& operationID);
    void finish(MonotonicTime releaseTime);
    void clearOperation();
    void logNativeTiming(std::string_view stage, MonotonicTime at, const std::string& operationID,
                         std::optional<MonotonicTime> sourceTime) const;
    void logCapturedTarget(const FocusTargetSnapshot& snapshot) const;
    bool isCurrentOperation(const std::string& operationID) const { return operation_.operationID == operationID; }
    bool ownApplicationIsFrontmost();
    HUDOperationPurpose hudPurpose() const;

    // Engine events.
    void coreEvent(const CoreEvent& event);
    void dashboardRecordingEvent(const CoreEvent& event);
    void operationEvent(const CoreEvent& event);
    void operationBecameIdle(const CoreEvent& event);
    void engineConfirmedCancellation();
    void nativeAudioTransportFailed(const std::string& operationID, const std::string& reason);

    // Release and terminal requests.
    void captureDeliveryTargetAtRelease();
    void reserveReleaseTarget(const std::string& targetID, const std::string& generation);
    void undoReleaseCaptureIfMoved(const FocusReleaseBoundary& boundary);
    void forgetTargetCapture();
    // The one way an operation is told how it ends: released (with the
    // release time) or cancelled.
    void requestTerminal(TerminalIntent intent, std::optional<MonotonicTime> clientTime);
    void finishNativeAudio(const std::string& operationID, bool cancelled,
                           NativeAudioStream::EndCompletion completion = {});
    void endNativeAudioNormally(const std::string& operationID);
    void nativeAudioEndAcknowledged(const std::string& operationID, const Status& result);
    void completeNativeAudioEnd(const std::string& operationID, const Status& result);
    void sendTerminalIfReady();
    void sendCancel(const std::string& operationID);
    void sendRelease(const std::string& operationID);
    void cancelCompleted(const Status& result, const std::string& operationID);
    void releaseCompleted(const Result<DictationCommandResponse>& reply, const std::string& operationID);
    void retryTerminal(const Error& error, const std::string& operationID);
    void sendTerminalAfter(Duration delay, const std::string& operationID);
    void reconcileServerFinalization(const std::string& operationID, std::optional<MonotonicTime> sourceTime,
                                     std::string_view stage);
    // Ends the operation after the engine confirmed its cancellation.
    void endCancelledOperation();
    // The failure text in the assistant's panel for an agent operation, the
    // HUD's error otherwise.
    void showOperationFailure(const std::string& message, OperationMode mode);
    // Shows `text` alone in the assistant's panel; hides it when blank.
    void showAgentMessage(const std::string& text);

    // Processing watchdog.
    void armProcessingWatchdog(const std::string& operationID);
    void processingWatchdogFired(const std::string& operationID);

    // Final text delivery.
    void handleFinal(const std::string& text, const std::string& operationID, std::optional<MonotonicTime> sourceTime);
    void deliverThroughLiveWriter(const std::string& text, const std::string& operationID, const std::string& targetID);
    bool startFinalFocusRetry(const std::string& text);
    void deliverInternally(const std::string& text, const std::string& operationID, const std::string& targetID);
    void deliverWithoutTarget(const std::string& text, const std::string& operationID, const std::string& targetID);
    void commandDispatched(const std::string& operationID, MonotonicTime at);
    void completeDelivery(const DeliveryResult& result, const std::string& text, const std::string& operationID,
                          const std::string& targetID);
    void showDeliverySuccess(const std::string& operationID);
    // True once the text of the current operation is delivered, in delivery,
    // or held for the final focus retry: the operation then ends with it.
    bool finalTextTaken() const;

    // Agent answers.
    void handleAgentAnswer(const JSONValue::Object& answer, const std::string& operationID, bool finalizeOperation);
    void failAgent(const std::optional<std::string>& reasonCode, const std::optional<std::string>& messageKey,
                   const std::string& operationID);
    void presentAgentAnswer(const AgentTerminalPayload& payload, const std::string& operationID);
    void confirmAgentAnswer(const std::string& operationID, const std::string& token);
    void recoverAgentTerminalPayload(const std::string& operationID, int attempt);
    void agentLookupReplied(const Result<JSONValue::Object>& reply, const std::string& operationID, int attempt);
    bool agentOperationAwaitsAnswer(const std::string& operationID) const;

    // Shortcut capture. True when the event was a capture event.
    bool shortcutCaptureEvent(const CoreEvent& event);
    void beginShortcutCapture(const std::string& captureID, ShortcutPurpose purpose);
    void shortcutCaptured(const ShortcutCaptureAction& action, const std::string& captureID);
    void shortcutSaved(const Status& result, const std::string& captureID);
    void finishShortcutCapture(bool restartMonitor);
    void applyDictationShortcut(const ShortcutChoice& choice);

    // The dashboard's recording.
    void beginWebAudio(const std::string& operationID, WebAudioReply reply);
    void fetchWebAudioSettings(const std::string& operationID, const std::shared_ptr<WebAudioReply>& reply);
    void webAudioSettingsArrived(const std::string& operationID, const Result<ShortcutSettingsResponse>& settings,
                                 WebAudioReply& reply);
    void endWebAudio(const std::string& operationID, WebAudioReply reply);
    void cancelWebAudio(const std::string& operationID, WebAudioReply reply);

    // What is open beside operations.
    void finishOperationSound(DictationFeedbackTerminalOutcome outcome);
    void cancelOpenOperationForShutdown();
    void abandonDashboardRecording(const std::string& code, const std::string& message);
    void abandonDashboardRecordingAfterTransportFailure();
    void abandonDashboardRecordingForShutdown();
    bool shortcutCaptureInProgress() const { return shortcutCaptureID_.has_value(); }
    void cancelShortcutCaptureForPause();
    void endShortcutCaptureForShutdown();

    // Failures.
    void showGeneralError(const std::string& message);
    void fail(const std::string& message);
    std::vector<std::string> preferredLanguages() const;
    NativeLocalizedStrings strings() const;
    std::string localizedNativeError(const NativeFailure& failure) const;
    std::string localizedCoreFailure(const JSONValue::Object& data) const;
    std::string localizedAgentFailure(const std::optional<std::string>& reasonCode,
                                      const std::optional<std::string>& messageKey) const;
    json::Json audioErrorReply(const NativeFailure& failure) const;

    void refreshFlowBarIdleState();

    DesktopCoordinatorPorts ports_;
    DesktopCoordinatorFactories factories_;

    bool paused_ = false;
    bool connected_ = false;
    MurmoLaunchConfiguration configuration_;
    std::unique_ptr<GlobalShortcutRouter> monitor_;
    std::shared_ptr<MurmoCoreClient> client_;
    std::shared_ptr<HUDController> hud_;
    std::unique_ptr<AgentSpeechController> agentSpeech_;
    std::unique_ptr<SoundFeedbackController> soundFeedback_;
    std::shared_ptr<VoiceProcessingAudioCapture> voiceProcessingCapture_;
    std::shared_ptr<FocusTextInjector> injector_;
    Logger deliveryLog_;
    std::shared_ptr<CoreProcessSupervisor> process_;
    std::shared_ptr<UpdateCoordinator> updateCoordinator_;
    std::optional<std::string> pendingExportEvent_;
    std::optional<std::string> pendingWritingCopyEvent_;
    ShortcutChoice activeShortcut_;
    std::optional<ShortcutChoice> activeAgentShortcut_;
    bool shortcutEnabled_ = true;
    bool agentModeEnabled_ = false;
    std::string agentActivationPolicy_ = "dedicated";
    std::string agentResponseMode_ = "text";
    std::string agentTTSVoice_ = "system";
    float agentTTSRate_ = 0.5f;
    bool shortcutMonitorStartFailed_ = false;
    std::optional<ShortcutRuntimeSettings> pendingShortcutSettings_;
    std::shared_ptr<ShortcutCaptureMonitor> shortcutCaptureMonitor_;
    std::optional<std::string> shortcutCaptureID_;
    ShortcutPurpose shortcutCapturePurpose_ = ShortcutPurpose::dictation;
    Timer shortcutCaptureTimeout_;
    Timer settingsPollTimer_;
    OperationRecord operation_;
    DictationFocusCaptureState focusCaptureState_;
    std::optional<std::string> nativeAudioOperationID_;
    std::optional<std::string> nativeAudioFinalizationOperationID_;
    std::optional<std::string> webAudioOperationID_;
    std::optional<std::string> nativeAudioCaptureGeneration_;
    // Completions waiting for an operation's audio end, in the order given.
    std::map<std::string, std::vector<NativeAudioStream::EndCompletion>> nativeAudioEndWaiters_;
    bool audioSettingsReady_ = false;
    // Live dictation, noise reduction and the configured device, as the
    // engine's settings last gave them.
    CoordinatorAudioSettings audioSettings_;
    MonotonicTime pressedAt_{};
    std::map<std::string, PendingDeliveryContext> pendingDeliveryContexts_;
    DeliveredOperationMemory deliveredOperations_;
    bool runtimeStarted_ = false;
    bool runtimeStartFailed_ = false;
    bool connectionUnavailable_ = false;
    bool shuttingDown_ = false;
    NativeAppLanguage applicationLanguage_ = NativeAppLanguage::system;

    // Settings requests are numbered as they go out. Replies can overlap (the
    // poll, the tick at connect and the reload after a capture each wait up
    // to a minute), so a reply older than one already applied is dropped.
    std::uint64_t settingsRequestsSent_ = 0;
    std::uint64_t newestAppliedSettingsRequest_ = 0;
};

// "dictation", "agent" or "pending": the purpose written to the log.
std::string_view rawValue(DesktopCoordinator::OperationMode mode);

}  // namespace murmo
