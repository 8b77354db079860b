#pragma once

// Delivery into the current focus: paste into whatever responder has the
// focus in the pinned host, provided the host, its process, the user's input,
// secure keyboard input and its focused window are unchanged since the pin.
// Passes run on the finalization delays within the pre-dispatch budget; a
// window that cannot be read before then fails as temporarily unavailable.

#include <cstdint>
#include <optional>
#include <string>

#include "delivery/DeliveryContext.h"
#include "delivery/FocusTargetSnapshot.h"
#include "runtime/Task.h"

namespace murmo {

// What a current-focus delivery checks the host against.
struct CurrentFocusHost {
    std::int32_t pid = 0;
    std::optional<std::string> bundleIdentifier{};
    std::optional<FocusProcessBirthIdentity> processBirth{};
    FocusInputEpoch inputEpoch{};
    std::optional<AXElement> focusedWindow{};

    static CurrentFocusHost of(const FocusHostPin& pin);
    static CurrentFocusHost of(const FocusTargetSnapshot& target);
};

struct CurrentFocusDelivery {
    // `triggerReason` says in the log why the text went to the current focus.
    static Task<void> run(DeliveryContext context, std::string text, CurrentFocusHost host, std::string triggerReason);
};

}  // namespace murmo
