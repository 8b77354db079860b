#pragma once

#include <string>
#include <string_view>

#include "runtime/Error.h"
#include "services/NativeAppLanguage.h"

namespace murmo {

// Why microphone capture could not start or had to end. The code is stable
// and reaches the engine and the dashboard page; the message reaches the user.
struct VoiceProcessingAudioCaptureError {
    enum class Case {
        engineStartFailed,
        voiceProcessingUnavailable,
        unsupportedInputFormat,
        engineUnavailable,
        permissionNotDetermined,
        permissionDenied,
        permissionRestricted,
        inputDeviceUnavailable,
        inputDeviceAmbiguous,
        noAudioBuffers,
        audioInterrupted,
        routeChanged,
    };

    Case kind = Case::engineUnavailable;
    // The platform error behind engineStartFailed and voiceProcessingUnavailable;
    // empty and 0 for every other case.
    std::string platformDomain;
    long platformCode = 0;

    static VoiceProcessingAudioCaptureError of(Case kind) { return {kind, {}, 0}; }
    static VoiceProcessingAudioCaptureError engineStartFailed(std::string domain, long code) {
        return {Case::engineStartFailed, std::move(domain), code};
    }
    static VoiceProcessingAudioCaptureError voiceProcessingUnavailable(std::string domain, long code) {
        return {Case::voiceProcessingUnavailable, std::move(domain), code};
    }

    // The snake_case code, e.g. "microphone_permission_denied".
    std::string_view code() const;
    // The user message in an interface language. Most texts are this error's
    // own, Turkish only for an explicit Turkish choice; the two it shares with
    // the native string catalog follow the catalog (which resolves `system`).
    std::string localizedDescription(NativeAppLanguage language) const;
    // The English message, for logs.
    std::string errorDescription() const { return localizedDescription(NativeAppLanguage::english); }
    // The same failure as a runtime Error: this type's domain, the case's
    // position as its code, the English message and the snake_case reason.
    Error toError() const;

    bool operator==(const VoiceProcessingAudioCaptureError&) const = default;
};

}  // namespace murmo
