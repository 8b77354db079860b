#pragma once

#include <optional>
#include <string>

#include "bridge/BridgeRequest.h"
#include "bridge/BridgeResponse.h"

namespace murmo::bridge {

// Answers accepted requests. Every failure comes back as a failure envelope;
// nothing is thrown out of handle().
class BridgeRuntime {
public:
    virtual ~BridgeRuntime() = default;
    virtual Envelope handle(const BridgeRequest& request) = 0;
};

// What "status" and "prepare" report about the model.
struct RuntimeStatus {
    bool compiled = true;
    bool osSupported = true;
    std::string availability;  // "available" or "unavailable"
    std::optional<std::string> unavailableReason;
    std::string localeIdentifier;
    bool supportsLocale = false;
    bool available = false;
    bool ready = false;
    bool warmed = false;
    std::string runtimeState;
    std::string detail;
};

Json statusJSON(const RuntimeStatus& status);

}  // namespace murmo::bridge
