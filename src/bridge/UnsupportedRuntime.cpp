#include "bridge/UnsupportedRuntime.h"

#include "bridge/SystemSettings.h"

namespace murmo::bridge {

Envelope UnsupportedRuntime::handle(const BridgeRequest& request) {
    if (request.action == "status") return BridgeResponse::success(request.id, status(request));
    if (request.action == "prepare") {
        auto result = status(request);
        result["prepared"] = false;
        return BridgeResponse::success(request.id, std::move(result));
    }
    if (request.action == "unload") return BridgeResponse::success(request.id, Json{{"unloaded", true}});
    if (request.action == "open_settings") return settingsResponse(request, workspace_);
    if (request.action == "warmup" || request.action == "generate") {
        return BridgeResponse::failure(request.id, BridgeFailure(BridgeFailureKind::unsupportedOS));
    }
    return BridgeResponse::failure(request.id, BridgeFailure(BridgeFailureKind::unsupportedAction));
}

Json UnsupportedRuntime::status(const BridgeRequest& request) const {
    // A status answer never fails here: an unusable locale reports the
    // system's own instead.
    auto locale = request.effectiveLocaleIdentifier(systemLocale_);
    RuntimeStatus status;
    status.compiled = compiledWithFoundationModels;
    status.osSupported = false;
    status.availability = "unavailable";
    status.unavailableReason = "unsupported_os";
    status.localeIdentifier = locale ? *locale : systemLocale_.currentIdentifier();
    status.runtimeState = "os_unsupported";
    status.detail = BridgeFailure(BridgeFailureKind::unsupportedOS).message;
    return statusJSON(status);
}

}  // namespace murmo::bridge
