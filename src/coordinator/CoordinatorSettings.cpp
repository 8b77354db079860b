#include "coordinator/CoordinatorSettings.h"

#include <cmath>
#include <limits>

namespace murmo {

namespace {

// A rate beyond what a float holds becomes an infinity of its sign (the
// speech rate is clamped later); converting it directly is undefined.
float speechRate(double rate) {
    if (std::abs(rate) > std::numeric_limits<float>::max()) {
        return std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(std::signbit(rate) ? -1 : 1));
    }
    return static_cast<float>(rate);
}

std::optional<ShortcutChoice> decoded(const std::optional<ShortcutSpecPayload>& payload) {
    return payload ? payload->decodedShortcut() : std::nullopt;
}

}  // namespace

std::optional<ShortcutRuntimeSettings> ShortcutRuntimeSettings::from(const ShortcutSettingsResponse& reply) {
    auto dictation = decoded(reply.nativeShortcut);
    if (!dictation) return std::nullopt;
    ShortcutRuntimeSettings settings;
    settings.dictation = *dictation;
    settings.enabled = reply.hotkeyEnabled.value_or(true);
    settings.agentEnabled = reply.agentModeEnabled.value_or(false);
    settings.agentActivationPolicy = reply.agentActivationPolicy.value_or("dedicated");
    settings.agentShortcut = decoded(reply.agentNativeShortcut);
    settings.agentResponseMode = reply.agentResponseMode.value_or("text");
    settings.agentTTSVoice = reply.agentTTSVoice.value_or("system");
    settings.agentTTSRate = speechRate(reply.agentTTSRate.value_or(0.5));
    return settings;
}

std::optional<ShortcutChoice> ShortcutRuntimeSettings::monitoredAgentShortcut() const {
    const bool ownShortcut = agentActivationPolicy == "dedicated" || agentActivationPolicy == "both";
    return agentEnabled && ownShortcut ? agentShortcut : std::nullopt;
}

CoordinatorAudioSettings CoordinatorAudioSettings::from(const ShortcutSettingsResponse& reply) {
    CoordinatorAudioSettings settings;
    settings.liveDictationRequested = reply.fastModeEnabled.value_or(false) &&
                                      reply.liveDictationEnabled.value_or(false) && reply.autoInject.value_or(true);
    settings.backgroundNoiseReductionEnabled = reply.backgroundNoiseReductionEnabled.value_or(false);
    settings.configuredAudioDevice = reply.audioDevice;
    settings.configuredAudioDeviceName = reply.audioDeviceName;
    // Without a chosen device the default route can always reduce noise; a
    // chosen device must say it can.
    settings.backgroundNoiseReductionAvailable =
        !reply.audioDevice ||
        (reply.backgroundNoiseReduction && reply.backgroundNoiseReduction->available.value_or(false));
    return settings;
}

}  // namespace murmo
