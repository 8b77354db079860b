#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "services/NativeAppLanguage.h"

namespace murmo {

// One key per text that the application itself shows. The raw value of a key
// is its own name ("hudListening"); see NativeAppLanguage.h for the rawValue /
// ...FromRawValue convention.
enum class NativeStringKey : std::uint8_t {
    openMurmo,
    settings,
    view,
    quitMurmo,
    checkMicrophonePermission,
    checkAccessibilityPermission,
    checkInputMonitoringPermission,
    coreConnected,
    coreOffline,
    resumeDictation,
    pauseDictation,
    shortcut,
    holdShortcut,
    disabled,
    launchAtLogin,
    awaitingApproval,
    unavailable,
    hideNavigation,
    showNavigation,
    localProfile,
    changeTheme,
    bigMode,
    useBigMode,
    useCompactMode,
    launchAtLoginChangeFailed,
    mainWindowTitle,
    settingsWindowTitle,
    coreLoading,
    settingsLoading,
    confirm,
    cancel,
    hudReady,
    hudBooting,
    hudPaused,
    hudOffline,
    hudListening,
    hudProcessing,
    hudShortcutCapture,
    hudInserted,
    hudCopied,
    hudTextReady,
    hudCouldNotComplete,
    hudTryAgain,
    hudCopy,
    hudCopyToClipboard,
    hudCopyFailed,
    hudPasteFailed,
    hudPasteUnverified,
    hudCopyInstruction,
    hudError,
    hudListeningAnnouncement,
    hudProcessingAnnouncement,
    hudAgentListeningAnnouncement,
    hudAgentProcessingAnnouncement,
    hudShortcutAnnouncement,
    hudClipboardAnnouncement,
    hudUnverifiedAnnouncement,
    hudCopyFailureAnnouncement,
    hudInsertedAnnouncement,
    hudCopiedAnnouncement,
    hudInsertedDetail,
    hudCopiedDetail,
    hudErrorPrefix,
    processingTimedOut,
    dictationTimedOut,
    shortcutSaveFailed,
    permissionMicrophoneShort,
    permissionAccessibilityShort,
    permissionInputMonitoringShort,
    shortcutInputMonitoringRequired,
    shortcutAccessibilityRequired,
    shortcutEventTapUnavailable,
    coreUnexpectedlyExited,
    coreLaunchFailed,
    coreStartAcknowledgementMismatch,
    coreRecordingStateFailed,
    coreReleaseAcknowledgementMismatch,
    finalTranscriptionMissing,
    transcriptionFailed,
    dictationFailed,
    agentLabel,
    agentCouldNotComplete,
    agentNoAnswer,
    agentAudioUnclear,
    agentSearchNotConfigured,
    agentSearchUnauthorized,
    agentSearchTimedOut,
    agentModelUnavailable,
    agentOutputInvalid,
    agentRemoteUnavailable,
    noEditableTarget,
    dictationStartFailed,
    dictationFinishFailed,
    dictationCancelPending,
    voiceProcessingFormatUnsupported,
    voiceProcessingUnavailable,
    nativeAudioTransportInterrupted,
    selectionRequestRejected,
    nativePreferenceInvalid,
    dockVisibilityChangeFailed,
    launchAtLoginUnavailable,
};

inline constexpr std::size_t kNativeStringKeyCount = 101;

std::string_view rawValue(NativeStringKey key);
std::optional<NativeStringKey> nativeStringKeyFromRawValue(std::string_view rawValue);

// The native texts. English and Turkish are complete; every other language
// shows the English text. The tables are compile-time constants, so lookups
// are safe from any thread.
class NativeStringCatalog {
public:
    NativeStringCatalog() = delete;

    // Resolves `language` against the current preferred languages first (a
    // no-op for an explicit language), then takes the Turkish text for
    // Turkish and the English text for everything else.
    static std::string value(NativeStringKey key, NativeAppLanguage language);
};

// Read access to the catalog in one resolved language. Cheap to copy; make a
// fresh one whenever the interface language may have changed.
class NativeLocalizedStrings {
public:
    // Resolves `language` against the current process's preferred languages.
    explicit NativeLocalizedStrings(NativeAppLanguage language);
    // Resolves `language` against the given list (most preferred first).
    NativeLocalizedStrings(NativeAppLanguage language, std::span<const std::string> preferredLanguages);

    // Never `system`.
    NativeAppLanguage language() const { return language_; }

    std::string openMurmo() const;
    std::string settings() const;
    std::string view() const;
    std::string quitMurmo() const;
    std::string checkMicrophonePermission() const;
    std::string checkAccessibilityPermission() const;
    std::string checkInputMonitoringPermission() const;
    std::string coreConnected() const;
    std::string coreOffline() const;
    std::string resumeDictation() const;
    std::string pauseDictation() const;
    std::string shortcut() const;
    std::string holdShortcut() const;
    std::string disabled() const;
    std::string launchAtLogin() const;
    std::string awaitingApproval() const;
    std::string unavailable() const;
    std::string hideNavigation() const;
    std::string showNavigation() const;
    std::string localProfile() const;
    std::string changeTheme() const;
    std::string bigMode() const;
    std::string useBigMode() const;
    std::string useCompactMode() const;
    std::string launchAtLoginChangeFailed() const;
    std::string mainWindowTitle() const;
    std::string settingsWindowTitle() const;
    std::string coreLoading() const;
    std::string settingsLoading() const;
    std::string confirm() const;
    std::string cancel() const;
    std::string hudReady() const;
    std::string hudBooting() const;
    std::string hudPaused() const;
    std::string hudOffline() const;
    std::string hudListening() const;
    std::string hudProcessing() const;
    std::string hudShortcutCapture() const;
    std::string hudInserted() const;
    std::string hudCopied() const;
    std::string hudTextReady() const;
    std::string hudCouldNotComplete() const;
    std::string hudTryAgain() const;
    std::string hudCopy() const;
    std::string hudCopyToClipboard() const;
    std::string hudCopyFailed() const;
    std::string hudPasteFailed() const;
    std::string hudPasteUnverified() const;
    std::string hudCopyInstruction() const;
    std::string hudError() const;
    std::string hudListeningAnnouncement() const;
    std::string hudProcessingAnnouncement() const;
    std::string hudAgentListeningAnnouncement() const;
    std::string hudAgentProcessingAnnouncement() const;
    std::string hudShortcutAnnouncement() const;
    std::string hudClipboardAnnouncement() const;
    std::string hudUnverifiedAnnouncement() const;
    std::string hudCopyFailureAnnouncement() const;
    std::string hudInsertedAnnouncement() const;
    std::string hudCopiedAnnouncement() const;
    std::string hudInsertedDetail() const;
    std::string hudCopiedDetail() const;
    std::string processingTimedOut() const;
    std::string dictationTimedOut() const;
    std::string shortcutSaveFailed() const;
    std::string permissionMicrophoneShort() const;
    std::string permissionAccessibilityShort() const;
    std::string permissionInputMonitoringShort() const;
    std::string shortcutInputMonitoringRequired() const;
    std::string shortcutAccessibilityRequired() const;
    std::string shortcutEventTapUnavailable() const;
    std::string coreLaunchFailed() const;
    std::string coreStartAcknowledgementMismatch() const;
    std::string coreRecordingStateFailed() const;
    std::string coreReleaseAcknowledgementMismatch() const;
    std::string finalTranscriptionMissing() const;
    std::string transcriptionFailed() const;
    std::string dictationFailed() const;
    std::string agentLabel() const;
    std::string agentCouldNotComplete() const;
    std::string agentNoAnswer() const;
    std::string agentAudioUnclear() const;
    std::string agentSearchNotConfigured() const;
    std::string agentSearchUnauthorized() const;
    std::string agentSearchTimedOut() const;
    std::string agentModelUnavailable() const;
    std::string agentOutputInvalid() const;
    std::string agentRemoteUnavailable() const;
    std::string noEditableTarget() const;
    std::string dictationStartFailed() const;
    std::string dictationFinishFailed() const;
    std::string dictationCancelPending() const;
    std::string voiceProcessingFormatUnsupported() const;
    std::string voiceProcessingUnavailable() const;
    std::string nativeAudioTransportInterrupted() const;
    std::string selectionRequestRejected() const;
    std::string nativePreferenceInvalid() const;
    std::string dockVisibilityChangeFailed() const;
    std::string launchAtLoginUnavailable() const;
    // The exit notice followed by " (<status>)".
    std::string coreUnexpectedlyExited(std::int32_t status) const;
    // The error prefix, what failed and the advice, joined by ". " (no final
    // full stop), as one spoken announcement.
    std::string hudErrorAnnouncement() const;

private:
    std::string text(NativeStringKey key) const;

    NativeAppLanguage language_;
};

// The strings of `language`, resolved against the current preferred languages.
NativeLocalizedStrings strings(NativeAppLanguage language);

}  // namespace murmo
