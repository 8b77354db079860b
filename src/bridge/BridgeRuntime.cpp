#include "bridge/BridgeRuntime.h"

namespace murmo::bridge {

Json statusJSON(const RuntimeStatus& status) {
    return Json{
        {"protocol_version", 1},
        {"compiled", status.compiled},
        {"os_supported", status.osSupported},
        {"provider", "apple_foundation"},
        {"availability", status.availability},
        {"unavailable_reason", status.unavailableReason ? Json(*status.unavailableReason) : Json(nullptr)},
        {"locale", status.localeIdentifier},
        {"supports_locale", status.supportsLocale},
        {"locale_supported", status.supportsLocale},
        {"available", status.available},
        {"ready", status.ready},
        {"warmed", status.warmed},
        {"runtime_state", status.runtimeState},
        {"detail", status.detail},
    };
}

}  // namespace murmo::bridge
