#include "coordinator/AgentResponseMode.h"

namespace murmo {

std::string_view rawValue(AgentResponseMode mode) {
    switch (mode) {
        case AgentResponseMode::text: return "text";
        case AgentResponseMode::voice: return "voice";
        case AgentResponseMode::both: return "both";
    }
    return "";
}

std::optional<AgentResponseMode> agentResponseModeFromRawValue(std::string_view rawValue) {
    for (auto mode : {AgentResponseMode::text, AgentResponseMode::voice, AgentResponseMode::both}) {
        if (murmo::rawValue(mode) == rawValue) return mode;
    }
    return std::nullopt;
}

AgentResponseMode resolved(std::optional<std::string_view> value, std::string_view fallback) {
    if (value) {
        if (auto mode = agentResponseModeFromRawValue(*value)) return *mode;
    }
    return agentResponseModeFromRawValue(fallback).value_or(AgentResponseMode::text);
}

bool showsText(AgentResponseMode mode) { return mode != AgentResponseMode::voice; }

bool speaks(AgentResponseMode mode) { return mode != AgentResponseMode::text; }

}  // namespace murmo
