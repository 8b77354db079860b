#pragma once

// Pure rules on what a focused element is and whether it may take text.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "delivery/FocusTargetSnapshot.h"
#include "platform/Accessibility.h"

namespace murmo {

struct FocusEditableTargetPolicy {
    // Whether a paste into the element can be expected to land in editable
    // text.
    static bool isPasteCapable(bool hasSelectedRange, bool selectedTextSettable, bool valueSettable,
                               const std::optional<std::string>& role);
};

struct FocusCandidatePolicy {
    // A container or an element without a role is likely a tree still being
    // built: worth waiting for; anything else that cannot take text is final.
    static FocusCandidateDisposition disposition(const std::optional<std::string>& role, bool pasteCapable);
};

struct FocusSelectionRevalidationPolicy {
    static FocusSelectionDisposition disposition(const std::optional<AXTextRange>& captured,
                                                 const std::optional<AXTextRange>& observed);
};

struct FocusDeliveryPolicy {
    // The clipboard goes first for every target, web-backed or not.
    static bool prefersClipboardFirst(bool isWebBacked);
    // Nothing is pasted after an accessibility write, verified or not: the
    // text could land twice.
    static bool permitsClipboardFallback(bool afterAXWrite);
};

// Rules for a paste into whatever responder has the focus in the pinned
// host, when no element identity can be held.
struct UniversalFocusDeliveryPolicy {
    // Editable text, a responder whose tree is not built yet, or a container
    // that may hold the caret.
    static bool allowsCurrentResponder(const std::optional<std::string>& role, bool pasteCapable);
    static bool allowsCurrentFocusFallback(bool frontmostHostMatches, bool processBirthMatches, bool inputEpochMatches,
                                           bool focusedWindowMatches, bool secureInputEnabled,
                                           bool focusedAXElementIsSecure);
};

struct FocusApplicationFamilyPolicy {
    using PathResolver = std::function<std::filesystem::path(const std::filesystem::path&)>;

    // Whether an element owned by `ownerPID` may stand for the focus of the
    // host: the host itself, a process it started, or an application inside
    // the host's bundle. Bundle paths are compared after `canonical` has
    // standardized them and resolved symbolic links.
    static bool permitsElementOwner(std::int32_t hostPID, std::int32_t ownerPID,
                                    const std::optional<std::filesystem::path>& hostBundleURL,
                                    const std::optional<std::filesystem::path>& ownerBundleURL, bool ownerIsDescendant,
                                    const PathResolver& canonical);
};

}  // namespace murmo
