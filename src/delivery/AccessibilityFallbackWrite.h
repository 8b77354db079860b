#pragma once

// The write through "AXSelectedText" used only when the clipboard could not
// be prepared. It revalidates the captured target first and writes only into
// a native (not web-backed), paste-capable field owned by the host whose
// selection is still the captured one and whose selected text is settable;
// the insertion is then verified against the value read before the write.

#include <string>

#include "delivery/DeliveryContext.h"
#include "delivery/FocusTargetSnapshot.h"
#include "runtime/Task.h"

namespace murmo {

struct AccessibilityFallbackWrite {
    // True when the delivery was handled: a result was reported, or it was
    // cancelled. False when the target does not qualify for such a write
    // and the caller reports the clipboard failure instead.
    static Task<bool> run(DeliveryContext context, std::string text, FocusTargetSnapshot target);
};

}  // namespace murmo
