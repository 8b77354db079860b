#include "coordinator/CoordinatorFailureText.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

const NativeLocalizedStrings english(NativeAppLanguage::english);
const NativeLocalizedStrings turkish(NativeAppLanguage::turkish);

JSONValue::Object failureData(std::optional<std::string> reasonCode, std::optional<std::string> messageKey) {
    JSONValue::Object data;
    if (reasonCode) data["reason_code"] = JSONValue(*reasonCode);
    if (messageKey) data["message_key"] = JSONValue(*messageKey);
    return data;
}

TEST(CoordinatorFailureTextTest, EngineFailuresOfADictationByKeyThenReason) {
    const struct {
        std::optional<std::string> reason, key;
        std::string text;
    } rows[] = {
        {"processing_timeout", "backend.dictation_failed", english.dictationFailed()},
        {"processing_timeout", std::nullopt, english.dictationTimedOut()},
        {"dictation_timeout", std::nullopt, english.dictationTimedOut()},
        {"timeout", "other.key", english.dictationTimedOut()},
        {"no_final_transcription", std::nullopt, english.finalTranscriptionMissing()},
        {"empty_output", std::nullopt, english.finalTranscriptionMissing()},
        {"TIMEOUT", std::nullopt, english.transcriptionFailed()},
        {std::nullopt, std::nullopt, english.transcriptionFailed()},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(localizedCoreFailure(failureData(row.reason, row.key), false, english), row.text)
            << row.reason.value_or("-") << " " << row.key.value_or("-");
    }
    JSONValue::Object notStrings{{"reason_code", JSONValue(3.0)}, {"message_key", JSONValue(true)}};
    EXPECT_EQ(localizedCoreFailure(notStrings, false, english), english.transcriptionFailed());
    EXPECT_EQ(localizedCoreFailure(failureData("timeout", std::nullopt), false, turkish), turkish.dictationTimedOut());
}

TEST(CoordinatorFailureTextTest, AgentFailuresGoToTheFirstFamilyWithAWordInTheCode) {
    const struct {
        std::optional<std::string> reason, key;
        std::string text;
    } rows[] = {
        {"asr_audio_timeout", std::nullopt, english.agentAudioUnclear()},  // audio before timeout
        {"Could_Not_HEAR", std::nullopt, english.agentAudioUnclear()},
        {"search_credential_missing", std::nullopt, english.agentSearchNotConfigured()},
        {"web_search_disabled", std::nullopt, english.agentSearchNotConfigured()},
        {"provider_forbidden", std::nullopt, english.agentSearchUnauthorized()},
        {"web_timeout", std::nullopt, english.agentSearchTimedOut()},
        {"runtime_unavailable", std::nullopt, english.agentModelUnavailable()},
        {"agent_output_invalid", std::nullopt, english.agentOutputInvalid()},
        {"agent_empty_output", std::nullopt, english.agentOutputInvalid()},
        {"remote_agent_not_connected", std::nullopt, english.agentRemoteUnavailable()},
        {"empty_answer", std::nullopt, english.agentNoAnswer()},
        {std::nullopt, "agent.no_answer", english.agentNoAnswer()},
        {"mystery", "agent.no_answer", english.agentCouldNotComplete()},  // the reason wins over the key
        {std::nullopt, std::nullopt, english.agentCouldNotComplete()},
        {"\xFF"
         "audio",
         std::nullopt, english.agentCouldNotComplete()},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(localizedAgentFailure(row.reason, row.key, english), row.text)
            << row.reason.value_or("-") << " " << row.key.value_or("-");
        EXPECT_EQ(localizedCoreFailure(failureData(row.reason, row.key), true, english), row.text);
    }
    EXPECT_EQ(localizedAgentFailure("agent_output_invalid", std::nullopt, turkish), turkish.agentOutputInvalid());
}

TEST(CoordinatorFailureTextTest, NativeErrorsAndTheDashboardAudioReply) {
    const auto denied = VoiceProcessingAudioCaptureError::of(VoiceProcessingAudioCaptureError::Case::permissionDenied);
    const CaptureFailureDetail detail{"microphone_busy", "The microphone is busy."};
    const Error other("SomeDomain", 7, "Something broke.");
    for (const auto* strings : {&english, &turkish}) {
        SCOPED_TRACE(rawValue(strings->language()));
        EXPECT_EQ(localizedNativeError(ShortcutMonitorError::inputMonitoringPermissionRequired, *strings),
                  strings->shortcutInputMonitoringRequired());
        EXPECT_EQ(localizedNativeError(ShortcutMonitorError::accessibilityPermissionRequired, *strings),
                  strings->shortcutAccessibilityRequired());
        EXPECT_EQ(localizedNativeError(ShortcutMonitorError::eventTapUnavailable, *strings),
                  strings->shortcutEventTapUnavailable());
        EXPECT_EQ(localizedNativeError(denied, *strings), denied.localizedDescription(strings->language()));
    }
    EXPECT_NE(localizedNativeError(ShortcutMonitorError::eventTapUnavailable, english),
              localizedNativeError(ShortcutMonitorError::eventTapUnavailable, turkish));
    EXPECT_EQ(localizedNativeError(detail, turkish), "The microphone is busy.");
    EXPECT_EQ(localizedNativeError(other, english), "Something broke.");

    EXPECT_EQ(audioErrorReply(detail, english),
              (json::Json{{"enabled", false}, {"error", "The microphone is busy."}, {"code", "microphone_busy"}}));
    EXPECT_EQ(audioErrorReply(denied, english)["code"], "microphone_permission_denied");
    EXPECT_EQ(audioErrorReply(other, english)["code"], "audio_engine_unavailable");
    EXPECT_EQ(audioErrorReply(ShortcutMonitorError::eventTapUnavailable, english)["code"], "audio_engine_unavailable");
}

}  // namespace
}  // namespace murmo
