#include "services/PermissionCenter.h"

namespace murmo {

namespace {

constexpr std::string_view kPrivacySettings = "x-apple.systempreferences:com.apple.preference.security";

std::string_view paneName(NativePermissionKind kind) {
    switch (kind) {
        case NativePermissionKind::microphone: return "Privacy_Microphone";
        case NativePermissionKind::accessibility: return "Privacy_Accessibility";
        case NativePermissionKind::inputMonitoring: return "Privacy_ListenEvent";
    }
    return {};
}

}  // namespace

std::shared_ptr<PermissionCenter> PermissionCenter::create(PermissionCenterPorts ports) {
    return std::shared_ptr<PermissionCenter>(new PermissionCenter(ports));
}

PermissionSnapshot PermissionCenter::snapshot() const {
    return PermissionSnapshot{.microphone = ports_.microphone.authorizationStatus(),
                              .accessibility = ports_.accessibility.isProcessTrusted(),
                              .inputMonitoring = ports_.keyTap.listenEventAccessGranted(),
                              .eventPosting = ports_.eventPoster.preflightPostEventAccess()};
}

void PermissionCenter::request(NativePermissionKind kind, Completion completion) {
    switch (kind) {
        case NativePermissionKind::microphone: return requestMicrophone(std::move(completion));
        case NativePermissionKind::accessibility: {
            const bool trusted = ports_.accessibility.isProcessTrustedWithPrompt();
            // Typing needs posting as well; its answer shows in the snapshot.
            ports_.eventPoster.requestPostEventAccess();
            if (!trusted) openSystemSettings(kind);
            return refreshAfterSystemPrompt(std::move(completion));
        }
        case NativePermissionKind::inputMonitoring:
            if (!ports_.keyTap.requestListenEventAccess()) openSystemSettings(kind);
            return refreshAfterSystemPrompt(std::move(completion));
    }
}

void PermissionCenter::requestMicrophone(Completion completion) {
    switch (ports_.microphone.authorizationStatus()) {
        case MicrophoneAuthorizationStatus::notDetermined:
            // The system answers on a thread of its own, possibly inside the
            // call; either way the completion runs on a later main-loop turn.
            ports_.microphone.requestAccess(
                [weak = weak_from_this(), loop = &ports_.loop, completion = std::move(completion)](bool) mutable {
                    loop->post([weak, completion = std::move(completion)] {
                        if (auto self = weak.lock()) completion(self->snapshot());
                    });
                });
            return;
        case MicrophoneAuthorizationStatus::authorized: return completion(snapshot());
        default: openSystemSettings(NativePermissionKind::microphone); return completion(snapshot());
    }
}

void PermissionCenter::refreshAfterSystemPrompt(Completion completion) {
    // The user acts in the settings later; this reads what changed at once,
    // and the shell reads again when the application becomes active.
    ports_.loop
        .after(kRefreshAfterPrompt,
               [weak = weak_from_this(), completion = std::move(completion)] {
                   if (auto self = weak.lock()) completion(self->snapshot());
               })
        .detach();
}

bool PermissionCenter::openSystemSettings(NativePermissionKind kind) {
    if (open(std::string(kPrivacySettings) + "?" + std::string(paneName(kind)))) return true;
    return open(kPrivacySettings);
}

bool PermissionCenter::open(std::string_view address) {
    auto url = URL::parse(address);
    return url && ports_.workspace.open(*url);
}

}  // namespace murmo
