#pragma once

// The user texts for failures: an engine failure, an agent failure, a native
// error, and the dashboard's reply when the microphone cannot record. Every
// unknown code gives its family's fallback text; nothing here fails.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "engine/JSONValue.h"
#include "input/ShortcutMonitorError.h"
#include "input/VoiceProcessingAudioCaptureError.h"
#include "runtime/Error.h"
#include "runtime/JsonRead.h"
#include "services/NativeStringCatalog.h"

namespace murmo {

// Why a capture could not start: a snake_case code and the user's text.
struct CaptureFailureDetail {
    std::string code;
    std::string message;

    bool operator==(const CaptureFailureDetail&) const = default;
};

// Any failure the coordinator shows the user.
using NativeFailure = std::variant<ShortcutMonitorError, VoiceProcessingAudioCaptureError, CaptureFailureDetail, Error>;

// The permission texts of the shortcut router, the capture error's own text,
// else the error's message.
std::string localizedNativeError(const NativeFailure& failure, const NativeLocalizedStrings& strings);

// An engine event's or reply's failure. For an agent operation, the agent
// families decide; otherwise the message key, then the reason code.
std::string localizedCoreFailure(const JSONValue::Object& data, bool agentOperation,
                                 const NativeLocalizedStrings& strings);

// The reason code, else the message key, lower-cased; the first family with a
// word contained in it decides (an "agent_empty_output" is an invalid answer:
// "output" comes before "empty").
std::string localizedAgentFailure(const std::optional<std::string>& reasonCode,
                                  const std::optional<std::string>& messageKey, const NativeLocalizedStrings& strings);

// {"enabled": false, "error": the user text, "code": the capture code, the
// audio error's code, else "audio_engine_unavailable"}.
json::Json audioErrorReply(const NativeFailure& failure, const NativeLocalizedStrings& strings);

}  // namespace murmo
