#pragma once

// The bodies of the two deliveries the injector admits:
// - into a captured target: prove the captured element still has the focus,
//   paste through the guarded clipboard, and write through accessibility
//   only when the clipboard cannot be prepared. When the element's strict
//   identity is lost the text is not dropped: it goes to the current focus
//   of the same host, with a trigger reason that says why;
// - into the current focus: paste into whatever responder has the focus in
//   the pinned host, provided the host, its process, the user's input and
//   its focused window are unchanged since the pin.
// Both run on the main loop and hold the injector weakly; cancellation is
// checked after every pause and before every write.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "delivery/ClipboardPaster.h"
#include "delivery/FocusTargetSnapshot.h"
#include "runtime/MainLoop.h"
#include "runtime/Task.h"

namespace murmo {

class FocusTextInjector;
struct DeliveryRun;

using CommandDispatchedCallback = std::function<void(MonotonicTime)>;

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

// How a clipboard that could not be prepared is reported.
struct ClipboardFailureDetails {
    std::string outcome{};
    std::string code{};
    std::string message{};
    bool operator==(const ClipboardFailureDetails&) const = default;

    static ClipboardFailureDetails from(std::optional<ClipboardPreparationFailure> failure);
};

struct FocusDelivery {
    static Task<void> intoTarget(std::weak_ptr<FocusTextInjector> injector, MainLoop& loop, std::string text,
                                 FocusTargetSnapshot target, CommandDispatchedCallback onCommandDispatched,
                                 DeliveryRun run);
    static Task<void> intoCurrentFocus(std::weak_ptr<FocusTextInjector> injector, MainLoop& loop, std::string text,
                                       CurrentFocusHost host, std::string triggerReason,
                                       CommandDispatchedCallback onCommandDispatched, DeliveryRun run);
};

}  // namespace murmo
