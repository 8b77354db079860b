#include "shell/bridges/NativeSelectionReader.h"

#include <algorithm>
#include <array>
#include <utility>

#include "delivery/AXManualAccessibilityRetryPolicy.h"
#include "runtime/Unicode.h"

namespace murmo {

namespace {

using SelectionStatus = NativeSelectionStatus;

constexpr std::array<std::string_view, 4> kSensitiveBundleFragments{"1password", "bitwarden", "keepass", "keychain"};
constexpr std::string_view kSecureTextFieldRole = "AXSecureTextField";

std::string_view rawValue(SelectionStatus status) {
    switch (status) {
        case SelectionStatus::available: return "available";
        case SelectionStatus::denied: return "denied";
        case SelectionStatus::unavailable: return "unavailable";
        case SelectionStatus::empty: return "empty";
        case SelectionStatus::tooLarge: return "too_large";
    }
    return "unavailable";
}

NativeSelectionOutcome refused(SelectionStatus status, std::string_view reason) {
    return NativeSelectionOutcome{.status = status, .reason = reason, .text = {}, .application = {}};
}

// Full lower-casing; an identifier that is not valid UTF-8 still has its
// ASCII letters lowered, so a fragment inside it is found.
std::string lowercasedIdentifier(const std::string& identifier) {
    if (auto lowered = unicode::lowercased(identifier)) return std::move(*lowered);
    std::string lowered = identifier;
    std::ranges::transform(lowered, lowered.begin(),
                           [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return lowered;
}

bool sameStart(const ProcessRecord& a, const ProcessRecord& b) {
    return a.startSeconds == b.startSeconds && a.startMicroseconds == b.startMicroseconds;
}

std::optional<AXElement> elementIn(const AXResult<AXAttributeValue>& result) {
    if (result.error != axerror::success || !result.value) return std::nullopt;
    const auto* element = std::get_if<AXElement>(&*result.value);
    if (!element || !*element) return std::nullopt;
    return *element;
}

const std::string* stringIn(const AXResult<AXAttributeValue>& result) {
    if (result.error != axerror::success || !result.value) return nullptr;
    return std::get_if<std::string>(&*result.value);
}

}  // namespace

json::Json NativeSelectionOutcome::payload() const {
    auto object = json::Json::object();
    object["available"] = status == SelectionStatus::available;
    object["status"] = std::string(rawValue(status));
    object["source"] = std::string(NativeSelectionReader::kSource);
    if (status == SelectionStatus::available) {
        object["text"] = text;
        object["application"] = application;
    } else {
        object["reason"] = std::string(reason);
    }
    return object;
}

NativeSelectionReader::NativeSelectionReader(NativeSelectionReaderPorts ports) : ports_(std::move(ports)) {}

bool NativeSelectionReader::isSensitiveBundle(const std::optional<std::string>& bundleIdentifier) {
    const auto lowered = lowercasedIdentifier(bundleIdentifier.value_or(""));
    return std::ranges::any_of(kSensitiveBundleFragments,
                               [&](std::string_view fragment) { return lowered.contains(fragment); });
}

NativeSelectionOutcome NativeSelectionReader::read(const std::optional<NativeSelectionTarget>& target) {
    if (!ports_.accessibility.isProcessTrusted())
        return refused(SelectionStatus::denied, "accessibility_permission_missing");
    if (!target || !isStillRunning(*target))
        return refused(SelectionStatus::unavailable, "previous_application_unavailable");
    if (isSensitiveBundle(target->bundleIdentifier)) return refused(SelectionStatus::denied, "sensitive_app");
    const auto focused = focusedElement(ports_.accessibility.applicationElement(target->pid));
    if (!focused) return refused(SelectionStatus::unavailable, "no_focused_element");
    if (mayBeSecureField(*focused)) return refused(SelectionStatus::denied, "secure_field_role");
    return selection(*focused, target->applicationName);
}

bool NativeSelectionReader::isStillRunning(const NativeSelectionTarget& target) {
    if (!ports_.workspace.runningApplication(target.pid)) return false;
    // A pid reused by a later process would show another application's
    // selection. The start time is compared, not the parent, which changes
    // when a process is re-parented.
    const auto current = ports_.processInfo.processRecord(target.pid);
    return current && target.processRecord && sameStart(*current, *target.processRecord);
}

std::optional<AXElement> NativeSelectionReader::focusedElement(const AXElement& application) {
    bool manualAccessibilityRequested = false;
    int attempt = 0;
    for (const auto pause : AXManualAccessibilityRetryPolicy::delays()) {
        if (pause > Duration::zero()) ports_.block(pause);
        // A read that timed out fails like any other.
        const auto result =
            ports_.accessibility.copyAttributeValue(application, axattr::focusedUIElement, kMessagingTimeout);
        if (auto element = elementIn(result)) return element;
        if (AXManualAccessibilityRetryPolicy::shouldRequestManualAccessibility(attempt, manualAccessibilityRequested,
                                                                               result.error)) {
            ports_.accessibility.setAttributeValue(application, AXManualAccessibilityRetryPolicy::attributeName,
                                                   AXAttributeValue(true), kMessagingTimeout);
            manualAccessibilityRequested = true;
        }
        ++attempt;
    }
    return std::nullopt;
}

bool NativeSelectionReader::mayBeSecureField(const AXElement& element) {
    for (const auto attribute : {axattr::role, axattr::subrole}) {
        const auto result = ports_.accessibility.copyAttributeValue(element, attribute, kMessagingTimeout);
        // An element that does not say what it is in time may be a password
        // field.
        if (result.error == axerror::cannotComplete) return true;
        if (const auto* role = stringIn(result); role && *role == kSecureTextFieldRole) return true;
    }
    return false;
}

NativeSelectionOutcome NativeSelectionReader::selection(const AXElement& element, const std::string& applicationName) {
    const auto result = ports_.accessibility.copyAttributeValue(element, axattr::selectedText, kMessagingTimeout);
    const auto* text = stringIn(result);
    if (!text) return refused(SelectionStatus::unavailable, "selection_unavailable");
    if (text->empty()) return refused(SelectionStatus::empty, "selection_empty");
    // Not valid UTF-8 is no text the page could receive.
    const auto characters = unicode::graphemeCount(*text);
    if (!characters) return refused(SelectionStatus::unavailable, "selection_unavailable");
    if (*characters > kMaximumCharacters) return refused(SelectionStatus::tooLarge, "selection_too_large");
    return NativeSelectionOutcome{
        .status = SelectionStatus::available, .reason = {}, .text = *text, .application = applicationName};
}

}  // namespace murmo
