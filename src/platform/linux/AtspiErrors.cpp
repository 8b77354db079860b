#include "platform/linux/AtspiErrors.h"

namespace murmo {

namespace {

AXError forDBusDomain(int code) {
    switch (code) {
        case G_DBUS_ERROR_NO_REPLY:
        case G_DBUS_ERROR_TIMEOUT:
        case G_DBUS_ERROR_TIMED_OUT: return axerror::cannotComplete;
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_UNKNOWN_OBJECT: return axerror::invalidUIElement;
        case G_DBUS_ERROR_UNKNOWN_METHOD:
        case G_DBUS_ERROR_UNKNOWN_INTERFACE:
        case G_DBUS_ERROR_UNKNOWN_PROPERTY:
        case G_DBUS_ERROR_NOT_SUPPORTED: return axerror::attributeUnsupported;
        case G_DBUS_ERROR_DISCONNECTED: return axerror::apiDisabled;
        default: return axerror::failure;
    }
}

AXError forIODomain(int code) {
    switch (code) {
        case G_IO_ERROR_TIMED_OUT: return axerror::cannotComplete;
        case G_IO_ERROR_CLOSED:
        case G_IO_ERROR_CONNECTION_CLOSED: return axerror::apiDisabled;
        default: return axerror::failure;
    }
}

}  // namespace

AXError axErrorForDBusError(const GError* error) {
    if (!error) return axerror::failure;
    if (error->domain == G_DBUS_ERROR) return forDBusDomain(error->code);
    if (error->domain == G_IO_ERROR) return forIODomain(error->code);
    return axerror::failure;
}

}  // namespace murmo
