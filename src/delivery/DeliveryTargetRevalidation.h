#pragma once

// Proves that a captured target may still take the text: the host, its
// process, the user's input and its focused window are unchanged, and the
// focused element is the captured one with the captured selection. Passes
// that meet a tree still being built are retried on the delivery
// revalidation delays; running out of them is "tree unavailable", which is
// not proof that the target moved.

#include <memory>

#include "delivery/DeliveryContext.h"
#include "delivery/FocusTargetSnapshot.h"
#include "runtime/CancelToken.h"
#include "runtime/MainLoop.h"
#include "runtime/Task.h"

namespace murmo {

struct DeliveryTargetRevalidation {
    enum class Kind { changed, treeUnavailable, cancelled, validated };

    Kind kind = Kind::cancelled;
    // The captured element as found now; set when validated.
    FocusedElementResolution resolution{};

    // Cancellation, or the services going away, ends it as cancelled.
    static Task<DeliveryTargetRevalidation> run(std::weak_ptr<DeliveryServices> services, MainLoop& loop,
                                                FocusTargetSnapshot target, CancelToken cancel);
};

// Whether a focused element found now is the captured one.
bool isCapturedElement(const FocusedElementResolution& resolution, const FocusTargetSnapshot& target);

}  // namespace murmo
