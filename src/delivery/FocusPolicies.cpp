#include "delivery/FocusPolicies.h"

#include <array>
#include <string_view>

namespace murmo {

namespace {

bool roleIsOneOf(const std::optional<std::string>& role, std::initializer_list<std::string_view> roles) {
    if (!role) return false;
    for (auto candidate : roles) {
        if (*role == candidate) return true;
    }
    return false;
}

}  // namespace

bool FocusEditableTargetPolicy::isPasteCapable(bool hasSelectedRange, bool selectedTextSettable, bool valueSettable,
                                               const std::optional<std::string>& role) {
    if (hasSelectedRange || selectedTextSettable) return true;
    if (!role) return false;
    if (roleIsOneOf(role, {"AXTextField", "AXTextArea", "AXComboBox"})) return true;
    return valueSettable && roleIsOneOf(role, {"AXGroup", "AXGenericElement", "AXWebArea"});
}

FocusCandidateDisposition FocusCandidatePolicy::disposition(const std::optional<std::string>& role, bool pasteCapable) {
    if (pasteCapable) return FocusCandidateDisposition::ready;
    if (!role || role->empty() || roleIsOneOf(role, {"AXUnknown", "AXGenericElement"})) {
        return FocusCandidateDisposition::retryablePartialTree;
    }
    if (roleIsOneOf(role, {"AXWebArea", "AXGroup", "AXScrollArea"})) {
        return FocusCandidateDisposition::retryablePartialTree;
    }
    return FocusCandidateDisposition::terminalNotEditable;
}

FocusSelectionDisposition FocusSelectionRevalidationPolicy::disposition(const std::optional<AXTextRange>& captured,
                                                                        const std::optional<AXTextRange>& observed) {
    if (!captured) return FocusSelectionDisposition::exact;
    if (!observed) return FocusSelectionDisposition::transient;
    return *captured == *observed ? FocusSelectionDisposition::exact : FocusSelectionDisposition::changed;
}

bool FocusDeliveryPolicy::prefersClipboardFirst(bool) { return true; }

bool FocusDeliveryPolicy::permitsClipboardFallback(bool) { return false; }

bool UniversalFocusDeliveryPolicy::allowsCurrentResponder(const std::optional<std::string>& role, bool pasteCapable) {
    if (pasteCapable) return true;
    if (!role || role->empty() || roleIsOneOf(role, {"AXUnknown", "AXGenericElement"})) return true;
    return FocusCandidatePolicy::disposition(role, false) == FocusCandidateDisposition::retryablePartialTree;
}

bool UniversalFocusDeliveryPolicy::allowsCurrentFocusFallback(bool frontmostHostMatches, bool processBirthMatches,
                                                              bool inputEpochMatches, bool focusedWindowMatches,
                                                              bool secureInputEnabled, bool focusedAXElementIsSecure) {
    return frontmostHostMatches && processBirthMatches && inputEpochMatches && focusedWindowMatches &&
           !secureInputEnabled && !focusedAXElementIsSecure;
}

bool FocusApplicationFamilyPolicy::permitsElementOwner(std::int32_t hostPID, std::int32_t ownerPID,
                                                       const std::optional<std::filesystem::path>& hostBundleURL,
                                                       const std::optional<std::filesystem::path>& ownerBundleURL,
                                                       bool ownerIsDescendant, const PathResolver& canonical) {
    if (hostPID < 1 || ownerPID < 1) return false;
    if (hostPID == ownerPID || ownerIsDescendant) return true;
    if (!hostBundleURL || !ownerBundleURL || !canonical) return false;
    const auto host = canonical(*hostBundleURL).string();
    const auto owner = canonical(*ownerBundleURL).string();
    const auto contents = (std::filesystem::path(host) / "Contents").string();
    return owner == host || owner == contents || owner.starts_with(contents + "/");
}

}  // namespace murmo
