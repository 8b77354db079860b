#include "coordinator/CoordinatorFailureText.h"

#include <array>
#include <initializer_list>

#include "runtime/Unicode.h"

namespace murmo {

namespace {

template <class... Cases>
struct Overloaded : Cases... {
    using Cases::operator()...;
};

struct AgentFailureFamily {
    std::initializer_list<std::string_view> words;
    std::string (NativeLocalizedStrings::*text)() const;
};

// In the order they are tried: the first family that matches decides.
const std::array<AgentFailureFamily, 8> kAgentFailureFamilies{{
    {{"audio", "hear", "asr"}, &NativeLocalizedStrings::agentAudioUnclear},
    {{"credential", "not_configured", "search_disabled", "consent"}, &NativeLocalizedStrings::agentSearchNotConfigured},
    {{"unauthorized", "forbidden", "invalid_key"}, &NativeLocalizedStrings::agentSearchUnauthorized},
    {{"search_timeout", "web_timeout"}, &NativeLocalizedStrings::agentSearchTimedOut},
    {{"model_unavailable", "provider_unavailable", "runtime_unavailable"},
     &NativeLocalizedStrings::agentModelUnavailable},
    {{"output", "question_echo", "confirmation_invalid", "parse"}, &NativeLocalizedStrings::agentOutputInvalid},
    {{"remote", "not_connected"}, &NativeLocalizedStrings::agentRemoteUnavailable},
    {{"empty", "no_answer"}, &NativeLocalizedStrings::agentNoAnswer},
}};

bool isOneOf(const std::optional<std::string>& value, std::initializer_list<std::string_view> options) {
    if (!value) return false;
    for (auto option : options) {
        if (*value == option) return true;
    }
    return false;
}

}  // namespace

std::string localizedNativeError(const NativeFailure& failure, const NativeLocalizedStrings& strings) {
    return std::visit(Overloaded{
                          [&](ShortcutMonitorError error) { return localizedDescription(error, strings.language()); },
                          [&](const VoiceProcessingAudioCaptureError& error) {
                              return error.localizedDescription(strings.language());
                          },
                          [](const CaptureFailureDetail& detail) { return detail.message; },
                          [](const Error& error) { return error.message; },
                      },
                      failure);
}

std::string localizedCoreFailure(const JSONValue::Object& data, bool agentOperation,
                                 const NativeLocalizedStrings& strings) {
    const auto reasonCode = optionalStringMember(data, "reason_code");
    const auto messageKey = optionalStringMember(data, "message_key");
    if (agentOperation) return localizedAgentFailure(reasonCode, messageKey, strings);
    if (messageKey == "backend.dictation_failed") return strings.dictationFailed();
    if (isOneOf(reasonCode, {"processing_timeout", "dictation_timeout", "timeout"})) return strings.dictationTimedOut();
    if (isOneOf(reasonCode, {"no_final_transcription", "empty_output"})) return strings.finalTranscriptionMissing();
    return strings.transcriptionFailed();
}

std::string localizedAgentFailure(const std::optional<std::string>& reasonCode,
                                  const std::optional<std::string>& messageKey, const NativeLocalizedStrings& strings) {
    const auto code = reasonCode ? *reasonCode : messageKey.value_or("");
    // Invalid UTF-8 from the engine matches no family.
    const auto lowered = unicode::lowercased(code).value_or("");
    for (const auto& family : kAgentFailureFamilies) {
        for (auto word : family.words) {
            if (lowered.find(word) != std::string::npos) return (strings.*family.text)();
        }
    }
    return strings.agentCouldNotComplete();
}

json::Json audioErrorReply(const NativeFailure& failure, const NativeLocalizedStrings& strings) {
    const std::string code =
        std::visit(Overloaded{
                       [](const CaptureFailureDetail& detail) { return detail.code; },
                       [](const VoiceProcessingAudioCaptureError& error) { return std::string(error.code()); },
                       [](const auto&) { return std::string("audio_engine_unavailable"); },
                   },
                   failure);
    return json::Json{{"enabled", false}, {"error", localizedNativeError(failure, strings)}, {"code", code}};
}

}  // namespace murmo
