#include "bridge/FoundationModelsRuntime.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

#include "bridge/SystemSettings.h"
#include "runtime/Unicode.h"

namespace murmo::bridge {

namespace {

struct AnswerText {
    std::string text;
};

std::string_view unavailableReasonCode(ModelUnavailableReason reason) {
    switch (reason) {
        case ModelUnavailableReason::deviceNotEligible: return "device_not_eligible";
        case ModelUnavailableReason::appleIntelligenceNotEnabled: return "apple_intelligence_not_enabled";
        case ModelUnavailableReason::modelNotReady:
        case ModelUnavailableReason::other: break;
    }
    return "model_not_ready";
}

std::string_view statusDetail(std::string_view runtimeState, bool supportsLocale) {
    if (runtimeState == "prewarmed") return "Apple's on-device model is prewarmed for the next exact request.";
    if (runtimeState == "sleeping") {
        return supportsLocale ? "Apple's on-device model is available."
                              : "Apple's on-device model does not support the requested locale.";
    }
    if (runtimeState == "apple_intelligence_not_enabled")
        return "Apple Intelligence is not enabled in System Settings.";
    if (runtimeState == "device_not_eligible") return "This Mac is not eligible for Apple Intelligence.";
    return "Apple's on-device model is not ready yet.";
}

Guardrails guardrailsFor(RequestPurpose purpose) {
    return isTextRewriting(purpose) ? Guardrails::permissiveContentTransformations : Guardrails::standard;
}

BridgeResult<AnswerText> plainAnswer(LanguageModelSession& session, const std::string& prompt,
                                     const GenerationOptions& options) {
    auto text = session.respond(prompt, options);
    if (!text) return std::unexpected(generationFailure(text.error()));
    if (text->size() > kMaximumOutputBytes) return refuse(BridgeFailureKind::outputTooLarge);
    return AnswerText{std::move(*text)};
}

BridgeResult<AnswerText> typedAnswer(LanguageModelSession& session, const std::string& prompt,
                                     const GenerationSchema& schema, const GenerationOptions& options) {
    auto content = session.respond(prompt, schema, /*includeSchemaInPrompt=*/true, options);
    if (!content) return std::unexpected(generationFailure(content.error()));
    if (!content->isComplete) return refuse(BridgeFailureKind::incompleteStructuredOutput);
    auto answer = stringProperty(*content, "answer");
    if (!answer) return std::unexpected(generationFailure(answer.error()));
    auto trimmed = unicode::trimWhitespaceAndNewlines(*answer);
    if (trimmed.empty()) return refuse(BridgeFailureKind::emptyStructuredOutput);
    // The serialiser refuses only text that is not valid UTF-8.
    auto text = serializeJSON(Json{{"answer", std::move(trimmed)}});
    if (!text) return refuse(BridgeFailureKind::encodingFailed);
    if (text->size() > kMaximumOutputBytes) return refuse(BridgeFailureKind::outputTooLarge);
    return AnswerText{std::move(*text)};
}

}  // namespace

std::string effectiveInstructions(const SessionIdentity& identity) {
    std::string text = "The person's locale is " + identity.localeIdentifier + ".";
    if (!identity.instructions.empty()) text += "\n\n" + identity.instructions;
    return text;
}

GenerationSchema agentAnswerSchema() {
    return GenerationSchema{
        "GeneratedContent",
        "A short, complete answer from Dorvex's quick assistant.",
        {GenerationSchemaProperty{"answer", "One or two complete plain-text sentences, at most 512 characters.",
                                  "string"}},
    };
}

Envelope FoundationModelsRuntime::handle(const BridgeRequest& request) {
    try {
        // Opening the settings leaves the warm session alone.
        if (request.action == "open_settings") return settingsResponse(request, dependencies_.workspace);
        auto result = dispatch(request);
        if (!result) return BridgeResponse::failure(request.id, result.error());
        return BridgeResponse::success(request.id, std::move(*result));
    } catch (const std::exception&) {
        return BridgeResponse::failure(request.id, BridgeFailure(BridgeFailureKind::bridgeFailed));
    }
}

BridgeResult<Json> FoundationModelsRuntime::dispatch(const BridgeRequest& request) {
    const auto& action = request.action;
    if (action == "status") return status(request);
    if (action == "prepare") return prepare(request);
    if (action == "warmup") return warmup(request);
    if (action == "generate") return generate(request);
    if (action == "unload") return unload();
    return refuse(BridgeFailureKind::unsupportedAction);
}

BridgeResult<Json> FoundationModelsRuntime::status(const BridgeRequest& request) {
    auto purpose = request.purpose();
    if (!purpose) return std::unexpected(purpose.error());
    auto locale = request.effectiveLocaleIdentifier(dependencies_.systemLocale);
    if (!locale) return std::unexpected(locale.error());
    auto ready = readiness(*purpose, *locale);
    if (!ready.ready()) warmedSession_.reset();
    return statusResult(ready, *locale, warmedSession_.has_value());
}

BridgeResult<Json> FoundationModelsRuntime::prepare(const BridgeRequest& request) {
    auto purpose = request.purpose();
    if (!purpose) return std::unexpected(purpose.error());
    auto locale = request.effectiveLocaleIdentifier(dependencies_.systemLocale);
    if (!locale) return std::unexpected(locale.error());
    auto ready = readiness(*purpose, *locale);
    warmedSession_.reset();
    auto result = statusResult(ready, *locale, false);
    result["prepared"] = ready.ready();
    result["purpose"] = wireValue(*purpose);
    return result;
}

BridgeResult<Json> FoundationModelsRuntime::warmup(const BridgeRequest& request) {
    // A warm-up that fails leaves no warm session behind.
    warmedSession_.reset();
    auto identity = request.warmupIdentity(dependencies_.systemLocale);
    if (!identity) return std::unexpected(identity.error());
    auto ready = readiness(identity->purpose, identity->localeIdentifier);
    if (auto check = requireReady(ready); !check) return std::unexpected(check.error());

    auto session = ready.model->makeSession(Instructions{effectiveInstructions(*identity)});
    if (!session) return refuse(BridgeFailureKind::bridgeFailed);
    session->prewarm();
    warmedSession_ = WarmedSession{*identity, std::move(session)};

    auto result = statusResult(ready, identity->localeIdentifier, true);
    result["purpose"] = wireValue(identity->purpose);
    return result;
}

BridgeResult<Json> FoundationModelsRuntime::generate(const BridgeRequest& request) {
    auto generation = request.generationRequest(dependencies_.systemLocale);
    if (!generation) return std::unexpected(generation.error());
    const auto& identity = generation->sessionIdentity;

    // A warm session serves one generation at most, whether it matches this
    // one or not, and whatever the outcome; it goes when this request ends.
    std::optional<WarmedSession> taken = std::exchange(warmedSession_, std::nullopt);

    auto ready = readiness(identity.purpose, identity.localeIdentifier);
    if (auto check = requireReady(ready); !check) return std::unexpected(check.error());

    std::optional<GenerationSchema> schema;
    if (generation->structuredResponse == StructuredResponseKind::agentAnswerV1) schema = agentAnswerSchema();

    std::optional<std::int64_t> promptTokens;
    if (identity.purpose == RequestPurpose::quickAgent && dependencies_.models.canCountTokens()) {
        auto total = quickAgentPromptTokens(*generation, *ready.model, schema);
        if (!total) return std::unexpected(total.error());
        promptTokens = *total;
    }

    std::unique_ptr<LanguageModelSession> session;
    const bool usedWarmSession = taken && taken->identity == identity;
    if (usedWarmSession) {
        session = std::move(taken->session);
    } else {
        session = ready.model->makeSession(Instructions{effectiveInstructions(identity)});
    }
    if (!session) return refuse(BridgeFailureKind::bridgeFailed);

    GenerationOptions options;
    // A typed answer must be allowed to finish, or it would come back
    // incomplete; only plain answers are held to the token limit.
    if (!schema) options.maximumResponseTokens = generation->maximumTokens;

    const auto start = dependencies_.clock.now();
    auto answer = schema ? typedAnswer(*session, generation->prompt, *schema, options)
                         : plainAnswer(*session, generation->prompt, options);
    const auto latency = std::max(dependencies_.clock.now() - start, Duration::zero());
    if (!answer) return std::unexpected(answer.error());

    Json result{
        {"text", std::move(answer->text)},
        {"locale", identity.localeIdentifier},
        {"purpose", wireValue(identity.purpose)},
        {"sampling", "greedy"},
        {"max_output_tokens", generation->maximumTokens},
        {"response_limit_enforced", !schema.has_value()},
        {"structured_output", schema.has_value()},
        {"used_warm_session", usedWarmSession},
        {"latency_ms", std::chrono::duration<double, std::milli>(latency).count()},
        {"resolved_model", "apple-system-language-model"},
    };
    if (!options.maximumResponseTokens) result["finish_reason"] = "stop";
    if (promptTokens) result["prompt_tokens"] = *promptTokens;
    return result;
}

Json FoundationModelsRuntime::unload() {
    warmedSession_.reset();
    return Json{{"unloaded", true}};
}

FoundationModelsRuntime::Readiness FoundationModelsRuntime::readiness(RequestPurpose purpose,
                                                                      const std::string& localeIdentifier) {
    Readiness readiness;
    // A fresh model per request, so availability is never stale.
    readiness.model = dependencies_.models.makeModel(guardrailsFor(purpose));
    if (!readiness.model) {
        readiness.availability = "unavailable";
        readiness.unavailableReason = "model_not_ready";
        return readiness;
    }
    const auto availability = readiness.model->availability();
    if (availability.isAvailable) {
        readiness.availability = "available";
    } else {
        readiness.availability = "unavailable";
        readiness.unavailableReason = std::string(unavailableReasonCode(availability.reason));
    }
    readiness.supportsLocale = readiness.model->supportsLocale(localeIdentifier);
    return readiness;
}

BridgeResult<void> FoundationModelsRuntime::requireReady(const Readiness& readiness) {
    if (readiness.unavailableReason) return std::unexpected(modelUnavailable(*readiness.unavailableReason));
    if (!readiness.supportsLocale) return refuse(BridgeFailureKind::unsupportedLocale);
    return {};
}

Json FoundationModelsRuntime::statusResult(const Readiness& readiness, const std::string& localeIdentifier,
                                           bool warmed) {
    RuntimeStatus status;
    status.availability = readiness.availability;
    status.unavailableReason = readiness.unavailableReason;
    status.localeIdentifier = localeIdentifier;
    status.supportsLocale = readiness.supportsLocale;
    status.available = readiness.available();
    status.ready = readiness.ready();
    status.warmed = warmed;
    if (readiness.unavailableReason) {
        status.runtimeState = *readiness.unavailableReason;
    } else {
        status.runtimeState = warmed ? "prewarmed" : "sleeping";
    }
    status.detail = std::string(statusDetail(status.runtimeState, readiness.supportsLocale));
    return statusJSON(status);
}

BridgeResult<std::int64_t> FoundationModelsRuntime::quickAgentPromptTokens(
    const GenerationRequest& request, const SystemLanguageModel& model, const std::optional<GenerationSchema>& schema) {
    auto fixed = fixedTokenCount(request.sessionIdentity, model);
    if (!fixed) return fixed;
    auto prompt = model.tokenCount(request.prompt);
    if (!prompt) return refuse(BridgeFailureKind::bridgeFailed);
    std::int64_t schemaCount = 0;
    if (schema) {
        auto counted = schemaTokenCount(*schema, model);
        if (!counted) return counted;
        schemaCount = *counted;
    }
    std::int64_t total = 0;
    // A sum too large for the integer is over the budget all the same.
    if (__builtin_add_overflow(*fixed, *prompt, &total) || __builtin_add_overflow(total, schemaCount, &total) ||
        total > kQuickAgentTokenBudget) {
        return refuse(BridgeFailureKind::agentPromptTooLarge);
    }
    return total;
}

BridgeResult<std::int64_t> FoundationModelsRuntime::fixedTokenCount(const SessionIdentity& identity,
                                                                    const SystemLanguageModel& model) {
    if (quickAgentFixedTokenCount_ && quickAgentFixedTokenCount_->identity == identity) {
        return quickAgentFixedTokenCount_->count;
    }
    auto counted = model.tokenCount(Instructions{effectiveInstructions(identity)});
    if (!counted) return refuse(BridgeFailureKind::bridgeFailed);
    quickAgentFixedTokenCount_ = QuickAgentFixedTokenCount{identity, *counted};
    return *counted;
}

BridgeResult<std::int64_t> FoundationModelsRuntime::schemaTokenCount(const GenerationSchema& schema,
                                                                     const SystemLanguageModel& model) {
    if (quickAgentSchemaTokenCount_) return *quickAgentSchemaTokenCount_;
    auto counted = model.tokenCount(schema);
    if (!counted) return refuse(BridgeFailureKind::bridgeFailed);
    quickAgentSchemaTokenCount_ = *counted;
    return *counted;
}

}  // namespace murmo::bridge
