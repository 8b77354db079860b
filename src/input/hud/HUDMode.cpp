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
            auto presentation = capsule(metrics::listeningWidth, "mic.fill", "", Role::listening);
            presentation.showsWaveform = true;
            return presentation;
        }
        case Kind::agentListening: {
            auto presentation = capsule(metrics::agentListeningWidth, "sparkles", "", Role::listening);
            presentation.showsWaveform = true;
            return presentation;
        }
        case Kind::processing: {
            auto presentation = capsule(metrics::processingWidth, std::nullopt, "", Role::processing);
            presentation.height = metrics::processingHeight;
            presentation.showsProcessingDots = true;
            return presentation;
        }
        case Kind::agentProcessing: {
            auto presentation = capsule(metrics::agentProcessingWidth, "sparkles", "", Role::processing);
            presentation.height = metrics::processingHeight;
            presentation.showsProcessingDots = true;
            return presentation;
        }
        case Kind::agentAnswer: {
            // Only the starting height: the panel measures the answer.
            auto presentation = capsule(360, std::nullopt, "", Role::listening);
            presentation.height = 45;
            presentation.secondaryTextRole = HUDTextRole::supplied();
            return presentation;
        }
        case Kind::shortcut:
            return capsule(metrics::shortcutWidth, "keyboard", strings.hudShortcutCapture(), Role::neutral);
        case Kind::success: return capsule(metrics::successWidth, "checkmark", "", Role::success);
        case Kind::clipboard: {
            auto presentation = capsule(metrics::clipboardWidth, std::nullopt, strings.hudPasteFailed(), Role::warning);
            presentation.showsCopyButton = true;
            return presentation;
        }
        case Kind::error: {
            auto presentation = capsule(metrics::errorWidth, "exclamationmark.triangle.fill",
                                        strings.hudCouldNotComplete(), Role::error);
            presentation.height = metrics::expandedHeight;
            presentation.secondaryTextRole = HUDTextRole::fixed(strings.hudTryAgain());
            return presentation;
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
