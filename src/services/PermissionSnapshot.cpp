#include "services/PermissionSnapshot.h"

#include "services/NativeStringCatalog.h"

namespace murmo {

namespace {

NativePermissionState switchState(bool allowed) {
    if (allowed) return {"authorized", true, false, false};
    return {"not_authorized", false, true, true};
}

}  // namespace

std::string_view rawValue(NativePermissionKind kind) {
    switch (kind) {
        case NativePermissionKind::microphone: return "microphone";
        case NativePermissionKind::accessibility: return "accessibility";
        case NativePermissionKind::inputMonitoring: return "input_monitoring";
    }
    return {};
}

std::optional<NativePermissionKind> nativePermissionKindFromRawValue(std::string_view text) {
    for (auto kind : kAllNativePermissionKinds) {
        if (rawValue(kind) == text) return kind;
    }
    return std::nullopt;
}

json::Json NativePermissionState::dictionary() const {
    return json::Json{
        {"status", status}, {"granted", granted}, {"can_request", canRequest}, {"requires_settings", requiresSettings}};
}

NativePermissionState PermissionSnapshot::microphoneState() const {
    switch (microphone) {
        case MicrophoneAuthorizationStatus::notDetermined: return {"not_determined", false, true, false};
        case MicrophoneAuthorizationStatus::restricted: return {"restricted", false, false, true};
        case MicrophoneAuthorizationStatus::denied: return {"denied", false, false, true};
        case MicrophoneAuthorizationStatus::authorized: return {"authorized", true, false, false};
    }
    return {"unknown", false, false, true};
}

NativePermissionState PermissionSnapshot::accessibilityState() const { return switchState(accessibility); }

NativePermissionState PermissionSnapshot::inputMonitoringState() const { return switchState(inputMonitoring); }

bool PermissionSnapshot::allGranted() const {
    return microphone == MicrophoneAuthorizationStatus::authorized && accessibility && inputMonitoring;
}

json::Json PermissionSnapshot::bridgePayload() const {
    return json::Json{{"version", 1},
                      {"all_granted", allGranted()},
                      {"permissions",
                       {{"microphone", microphoneState().dictionary()},
                        {"accessibility", accessibilityState().dictionary()},
                        {"input_monitoring", inputMonitoringState().dictionary()}}},
                      {"capabilities", {{"event_posting", eventPosting}}}};
}

std::string PermissionSnapshot::summary(NativeAppLanguage language) const {
    const NativeLocalizedStrings strings(language);
    const auto item = [](const std::string& name, bool granted) { return name + (granted ? " ✓" : " !"); };
    return item(strings.permissionMicrophoneShort(), microphoneState().granted) + "  " +
           item(strings.permissionAccessibilityShort(), accessibility) + "  " +
           item(strings.permissionInputMonitoringShort(), inputMonitoring);
}

}  // namespace murmo
