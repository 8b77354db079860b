#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace murmo {

// How an agent answer is presented: shown in the HUD's answer panel, spoken,
// or both. Raw values "text", "voice" and "both".
enum class AgentResponseMode : std::uint8_t {
    text,
    voice,
    both,
};

std::string_view rawValue(AgentResponseMode mode);
// Exact and case-sensitive; any other string yields nullopt.
std::optional<AgentResponseMode> agentResponseModeFromRawValue(std::string_view rawValue);

// The mode an answer asks for when `value` names one exactly (untrimmed, as
// the engine sent it); otherwise the user's configured `fallback`, where
// anything but "voice" or "both" means text, so an unknown setting still
// shows the answer.
AgentResponseMode resolved(std::optional<std::string_view> value, std::string_view fallback);

bool showsText(AgentResponseMode mode);
bool speaks(AgentResponseMode mode);

}  // namespace murmo
