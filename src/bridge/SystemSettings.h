#pragma once

#include "bridge/BridgeRequest.h"
#include "bridge/BridgeResponse.h"
#include "bridge/Workspace.h"

namespace murmo::bridge {

// Opens the first System Settings application that exists; false when there
// is none or it would not open.
bool openSystemSettings(Workspace& workspace);

// The answer to "open_settings", the same on every runtime.
Envelope settingsResponse(const BridgeRequest& request, Workspace& workspace);

}  // namespace murmo::bridge
