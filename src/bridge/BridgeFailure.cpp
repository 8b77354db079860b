#include "bridge/BridgeFailure.h"

#include "bridge/LanguageModel.h"

namespace murmo::bridge {

namespace {

struct CodeAndMessage {
    std::string_view code;
    std::string_view message;
};

CodeAndMessage describe(BridgeFailureKind kind) {
    switch (kind) {
        case BridgeFailureKind::invalidArguments:
            return {"invalid_arguments", "The bridge accepts only the optional --once argument."};
        case BridgeFailureKind::invalidRequestSize:
            return {"invalid_request_size", "The JSON-lines request is empty or exceeds the bridge limit."};
        case BridgeFailureKind::invalidJSON: return {"invalid_json", "The request is not valid JSON."};
        case BridgeFailureKind::requestNotAnObject: return {"invalid_request", "Each request must be a JSON object."};
        case BridgeFailureKind::unparsableRequest:
            return {"invalid_request", "The bridge could not parse the request."};
        case BridgeFailureKind::unsupportedProtocol:
            return {"unsupported_protocol", "The request must use bridge protocol version 1."};
        case BridgeFailureKind::invalidID: return {"invalid_id", "The request id is missing or invalid."};
        case BridgeFailureKind::invalidAction: return {"invalid_action", "The request action is missing."};
        case BridgeFailureKind::unsupportedAction:
            return {"unsupported_action", "The requested bridge action is not supported."};
        case BridgeFailureKind::serializationFailed:
            return {"serialization_failed", "The bridge response could not be serialized."};
        case BridgeFailureKind::unsupportedPurpose:
            return {"unsupported_purpose", "The requested model purpose is not supported."};
        case BridgeFailureKind::invalidLocale: return {"invalid_locale", "The requested locale identifier is invalid."};
        case BridgeFailureKind::instructionsTooLarge:
            return {"instructions_too_large", "The model instructions exceed the bridge input limit."};
        case BridgeFailureKind::promptPrefixTooLarge:
            return {"prompt_too_large", "The prompt prefix exceeds the bridge input limit."};
        case BridgeFailureKind::promptTooLarge:
            return {"prompt_too_large", "The prompt exceeds the bridge input limit."};
        case BridgeFailureKind::invalidPrompt: return {"invalid_prompt", "A non-empty prompt is required."};
        case BridgeFailureKind::invalidMaxOutputTokens:
            return {"invalid_max_output_tokens", "The response token limit must be between 1 and 4096."};
        case BridgeFailureKind::unsupportedResponseSchema:
            return {"unsupported_response_schema", "The requested structured response schema is not supported."};
        case BridgeFailureKind::unsupportedLocale:
            return {"unsupported_locale", "Apple's on-device model does not support the requested locale."};
        case BridgeFailureKind::settingsUnavailable:
            return {"settings_unavailable", "System Settings could not be opened."};
        case BridgeFailureKind::unsupportedOS:
            return {"unsupported_os", "Apple's on-device model requires macOS 26 or later."};
        case BridgeFailureKind::agentPromptTooLarge:
            return {"agent_prompt_too_large", "The quick Agent request exceeds its safe input budget."};
        case BridgeFailureKind::outputTooLarge:
            return {"output_too_large", "The model response exceeds the bridge output limit."};
        case BridgeFailureKind::incompleteStructuredOutput:
            return {"incomplete_structured_output", "The on-device model returned an incomplete typed answer."};
        case BridgeFailureKind::emptyStructuredOutput:
            return {"empty_structured_output", "The on-device model returned an empty typed answer."};
        case BridgeFailureKind::encodingFailed:
            return {"encoding_failed", "The typed model answer could not be encoded."};
        case BridgeFailureKind::bridgeFailed: break;
    }
    return {"bridge_failed", "The on-device model bridge could not complete the request."};
}

CodeAndMessage describe(GenerationErrorCase errorCase) {
    switch (errorCase) {
        case GenerationErrorCase::exceededContextWindowSize:
            return {"context_window_exceeded", "The request exceeds the on-device model context window."};
        case GenerationErrorCase::assetsUnavailable:
            return {"assets_unavailable", "The on-device model assets are not available."};
        case GenerationErrorCase::guardrailViolation:
            return {"guardrail_violation", "The on-device model declined this request."};
        case GenerationErrorCase::unsupportedGuide:
            return {"unsupported_guide", "The on-device model cannot use the requested generation guide."};
        case GenerationErrorCase::unsupportedLanguageOrLocale:
            return {"unsupported_locale", "The on-device model does not support the request locale."};
        case GenerationErrorCase::decodingFailure:
            return {"decoding_failed", "The on-device model could not decode a response."};
        case GenerationErrorCase::rateLimited:
            return {"rate_limited", "The on-device model is temporarily rate limited."};
        case GenerationErrorCase::concurrentRequests:
            return {"concurrent_request", "The on-device model is already serving a request."};
        case GenerationErrorCase::refusal: return {"refusal", "The on-device model declined this request."};
    }
    return {"generation_failed", "The on-device model could not generate a response."};
}

BridgeFailure fromDescription(CodeAndMessage description) {
    return BridgeFailure(std::string(description.code), std::string(description.message));
}

}  // namespace

BridgeFailure::BridgeFailure(BridgeFailureKind kind) : BridgeFailure(fromDescription(describe(kind))) {}

BridgeFailure modelUnavailable(std::string_view reason) {
    return BridgeFailure(std::string(reason), "Apple's on-device model is not currently available.");
}

BridgeFailure generationFailure(const Error& error) {
    if (error.domain != kGenerationErrorDomain) {
        return fromDescription({"generation_failed", "The on-device model could not generate a response."});
    }
    // A code this build does not know falls out of the switch in describe().
    return fromDescription(describe(static_cast<GenerationErrorCase>(error.code)));
}

}  // namespace murmo::bridge
