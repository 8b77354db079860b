#pragma once

// Delivery into a captured target: prove the captured element still has the
// focus, paste through the guarded clipboard (up to five starts while the
// clipboard is only briefly unavailable), and write through accessibility
// only when the clipboard cannot be prepared. When the element's strict
// identity or its selection is lost the text is not dropped: it goes to the
// current focus of the same host, with a trigger reason that says why.

#include <string>

#include "delivery/DeliveryContext.h"
#include "delivery/FocusTargetSnapshot.h"
#include "runtime/Task.h"

namespace murmo {

struct CapturedTargetDelivery {
    static Task<void> run(DeliveryContext context, std::string text, FocusTargetSnapshot target);
};

}  // namespace murmo
