#include "bridge/SystemSettings.h"

#include <array>
#include <string>

namespace murmo::bridge {

bool openSystemSettings(Workspace& workspace) {
    static const std::array<std::string, 2> kCandidates{"/System/Applications/System Settings.app",
                                                        "/Applications/System Settings.app"};
    for (const auto& path : kCandidates) {
        if (workspace.fileExists(path)) return workspace.open(path);
    }
    return false;
}

Envelope settingsResponse(const BridgeRequest& request, Workspace& workspace) {
    if (!openSystemSettings(workspace)) {
        return BridgeResponse::failure(request.id, BridgeFailure(BridgeFailureKind::settingsUnavailable));
    }
    return BridgeResponse::success(request.id, Json{{"opened", true}, {"destination", "system_settings"}});
}

}  // namespace murmo::bridge
