#pragma once

// What the coordinator takes from one reply of the engine's "api/settings":
// the shortcut and agent settings it applies when no operation is open, and
// the audio settings it applies at once.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/CoreWireTypes.h"
#include "input/Shortcut.h"

namespace murmo {

struct ShortcutRuntimeSettings {
    ShortcutChoice dictation = ShortcutChoice::function();
    bool enabled = true;
    bool agentEnabled = false;
    std::string agentActivationPolicy = "dedicated";
    std::optional<ShortcutChoice> agentShortcut;
    std::string agentResponseMode = "text";
    std::string agentTTSVoice = "system";
    float agentTTSRate = 0.5f;

    // Absent when the reply names no valid dictation shortcut: such a reply
    // is ignored whole, its audio settings included.
    static std::optional<ShortcutRuntimeSettings> from(const ShortcutSettingsResponse& reply);

    // The agent shortcut the router watches: only with the agent on and a
    // policy that gives it a shortcut of its own ("dedicated" or "both").
    // Under "no_editable" the agent is reached through the dictation
    // shortcut.
    std::optional<ShortcutChoice> monitoredAgentShortcut() const;

    bool operator==(const ShortcutRuntimeSettings&) const = default;
};

struct CoordinatorAudioSettings {
    bool liveDictationRequested = false;
    bool backgroundNoiseReductionEnabled = false;
    bool backgroundNoiseReductionAvailable = false;
    std::optional<std::int64_t> configuredAudioDevice;
    std::optional<std::string> configuredAudioDeviceName;

    static CoordinatorAudioSettings from(const ShortcutSettingsResponse& reply);

    bool operator==(const CoordinatorAudioSettings&) const = default;
};

}  // namespace murmo
