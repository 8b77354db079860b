#pragma once

// The four privacy permissions dictation needs, read at one moment, with the
// menu's one-line summary and the page's JSON form.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/MicrophonePermission.h"
#include "runtime/JsonRead.h"
#include "services/NativeAppLanguage.h"

namespace murmo {

// The permissions the user can be asked for. Event posting is not one: it
// cannot be requested on its own and is only reported as a capability.
enum class NativePermissionKind { microphone, accessibility, inputMonitoring };
inline constexpr std::array kAllNativePermissionKinds{
    NativePermissionKind::microphone, NativePermissionKind::accessibility, NativePermissionKind::inputMonitoring};
std::string_view rawValue(NativePermissionKind kind);
std::optional<NativePermissionKind> nativePermissionKindFromRawValue(std::string_view rawValue);

struct NativePermissionState {
    std::string status;
    bool granted = false;
    bool canRequest = false;
    bool requiresSettings = false;

    // {"status", "granted", "can_request", "requires_settings"}
    json::Json dictionary() const;
    bool operator==(const NativePermissionState&) const = default;
};

struct PermissionSnapshot {
    // A number of the system's: a status outside the four known ones reads
    // as "unknown".
    MicrophoneAuthorizationStatus microphone = MicrophoneAuthorizationStatus::notDetermined;
    bool accessibility = false;
    bool inputMonitoring = false;
    bool eventPosting = false;

    NativePermissionState microphoneState() const;
    NativePermissionState accessibilityState() const;
    NativePermissionState inputMonitoringState() const;
    // The microphone authorised and both other requestable permissions
    // allowed; event posting does not count.
    bool allGranted() const;
    // {"version": 1, "all_granted", "permissions": {...}, "capabilities":
    // {"event_posting"}}
    json::Json bridgePayload() const;
    // "Mic ✓  Accessibility !  Keys ✓" in `language` (resolved as the
    // catalog does); summary() is the English one.
    std::string summary(NativeAppLanguage language) const;
    std::string summary() const { return summary(NativeAppLanguage::english); }

    bool operator==(const PermissionSnapshot&) const = default;
};

}  // namespace murmo
