#pragma once

// How failures of accessibility-bus calls map onto the accessibility error
// codes the retry rules branch on.

#include <gio/gio.h>

#include "platform/Accessibility.h"

namespace murmo {

// The code for a failed D-Bus call: a time-out (or no reply) is
// cannotComplete, a peer or object that is gone is invalidUIElement, a
// missing interface, method or property is attributeUnsupported, a bus
// connection that closed is apiDisabled, anything else failure.
AXError axErrorForDBusError(const GError* error);

}  // namespace murmo
