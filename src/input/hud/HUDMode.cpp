#include "input/hud/HUDMode.h"

#include <algorithm>

#include "input/hud/HUDMetrics.h"
#include "services/NativeStringCatalog.h"

namespace murmo {

namespace metrics = HUDLayoutMetrics;
using Role = HUDSemanticRole;

std::string_view rawValue(HUDOperationPurpose purpose) {
    return purpose == HUDOperationPurpose::dictation ? "dictation" : "agent";
}

std::optional<HUDOperationPurpose> hudOperationPurposeFromRawValue(std::string_view text) {
    if (text == "dictation") return HUDOperationPurpose::dictation;
    if (text == "agent") return HUDOperationPurpose::agent;
    return std::nullopt;
}

double HUDPresentationSpec::cornerRadius() const { return std::min(height / 2, metrics::maximumCornerRadius); }

namespace {

HUDPresentationSpec capsule(double width, std::optional<std::string> icon, std::string primary, Role role) {
    return HUDPresentationSpec{.width = width,
                               .height = metrics::compactHeight,
                               .iconSymbol = std::move(icon),
                               .primaryText = std::move(primary),
                               .secondaryTextRole = HUDTextRole::fixed({}),
                               .semanticRole = role};
}

HUDPresentationSpec idleCapsule(HUDIdleState state, const NativeLocalizedStrings& strings) {
    switch (state) {
        case HUDIdleState::idle: return capsule(metrics::idleWidth, "waveform", strings.hudReady(), Role::neutral);
        case HUDIdleState::booting:
            return capsule(metrics::idleWidth, "hourglass", strings.hudBooting(), Role::processing);
        case HUDIdleState::paused: return capsule(metrics::idleWidth, "pause.fill", strings.hudPaused(), Role::warning);
        case HUDIdleState::offline:
            return capsule(metrics::idleWidth, "bolt.slash.fill", strings.hudOffline(), Role::error);
    }
    return {};
}

}  // namespace

HUDPresentationSpec HUDMode::presentation(NativeAppLanguage language,
                                          std::span<const std::string> preferredLanguages) const {
    const NativeLocalizedStrings strings(language, preferredLanguages);
    switch (kind_) {
        case Kind::idle: return idleCapsule(idleState_, strings);
        case Kind::listening: {
            auto spec = capsule(metrics::listeningWidth, "mic.fill", "", Role::listening);
            spec.showsWaveform = true;
            return spec;
        }
        case Kind::agentListening: {
            auto spec = capsule(metrics::agentListeningWidth, "sparkles", "", Role::listening);
            spec.showsWaveform = true;
            return spec;
        }
        case Kind::processing: {
            auto spec = capsule(metrics::processingWidth, std::nullopt, "", Role::processing);
            spec.height = metrics::processingHeight;
            spec.showsProcessingDots = true;
            return spec;
        }
        case Kind::agentProcessing: {
            auto spec = capsule(metrics::agentProcessingWidth, "sparkles", "", Role::processing);
            spec.height = metrics::processingHeight;
            spec.showsProcessingDots = true;
            return spec;
        }
        case Kind::agentAnswer: {
            // Only the starting height: the panel measures the answer.
            auto spec = capsule(360, std::nullopt, "", Role::listening);
            spec.height = 45;
            spec.secondaryTextRole = HUDTextRole::supplied();
            return spec;
        }
        case Kind::shortcut:
            return capsule(metrics::shortcutWidth, "keyboard", strings.hudShortcutCapture(), Role::neutral);
        case Kind::success: return capsule(metrics::successWidth, "checkmark", "", Role::success);
        case Kind::clipboard: {
            auto spec = capsule(metrics::clipboardWidth, std::nullopt, strings.hudPasteFailed(), Role::warning);
            spec.showsCopyButton = true;
            return spec;
        }
        case Kind::error: {
            auto spec = capsule(metrics::errorWidth, "exclamationmark.triangle.fill", strings.hudCouldNotComplete(),
                                Role::error);
            spec.height = metrics::expandedHeight;
            spec.secondaryTextRole = HUDTextRole::fixed(strings.hudTryAgain());
            return spec;
        }
    }
    return {};
}

HUDSuccessText successText(HUDSuccessKind kind, NativeAppLanguage language,
                           std::span<const std::string> preferredLanguages) {
    const NativeLocalizedStrings strings(language, preferredLanguages);
    if (kind == HUDSuccessKind::inserted) {
        return {strings.hudInserted(), strings.hudInsertedDetail(), strings.hudInsertedAnnouncement()};
    }
    return {strings.hudCopied(), strings.hudCopiedDetail(), strings.hudCopiedAnnouncement()};
}

HUDClipboardFailureText clipboardFailureText(HUDClipboardFailure failure, NativeAppLanguage language,
                                             std::span<const std::string> preferredLanguages) {
    const NativeLocalizedStrings strings(language, preferredLanguages);
    switch (failure) {
        case HUDClipboardFailure::paste: return {strings.hudPasteFailed(), strings.hudClipboardAnnouncement()};
        case HUDClipboardFailure::copy: return {strings.hudCopyFailed(), strings.hudCopyFailureAnnouncement()};
        case HUDClipboardFailure::unverified:
            return {strings.hudPasteUnverified(), strings.hudUnverifiedAnnouncement()};
    }
    return {};
}

}  // namespace murmo
