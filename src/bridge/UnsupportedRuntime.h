#pragma once

#include "bridge/BridgeRuntime.h"
#include "bridge/SystemLocale.h"
#include "bridge/Workspace.h"

namespace murmo::bridge {

// The runtime of a system without the on-device model: it reports the model
// as unavailable and refuses to warm up or generate.
class UnsupportedRuntime final : public BridgeRuntime {
public:
    UnsupportedRuntime(const SystemLocale& systemLocale, Workspace& workspace)
        : systemLocale_(systemLocale), workspace_(workspace) {}

    Envelope handle(const BridgeRequest& request) override;

    // The bridge is built with model support; only the system lacks it.
    const bool compiledWithFoundationModels = true;

private:
    Json status(const BridgeRequest& request) const;

    const SystemLocale& systemLocale_;
    Workspace& workspace_;
};

}  // namespace murmo::bridge
