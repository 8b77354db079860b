#pragma once

// The platform's on-device language model, as the bridge uses it: a model per
// guardrail setting with its availability and locale support, sessions made
// with instructions that can be prewarmed and asked for plain or typed
// answers, and token counting. Calls block until the model answers; the
// bridge serves one request at a time, so nothing else waits on them.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Error.h"

namespace murmo::bridge {

// Permissive transformations let the model rewrite whatever text it is given
// (dictation clean-up, explicit transforms); the default guardrails apply to
// free questions.
enum class Guardrails { permissiveContentTransformations, standard };

enum class ModelUnavailableReason { deviceNotEligible, appleIntelligenceNotEnabled, modelNotReady, other };

struct ModelAvailability {
    bool isAvailable = true;
    ModelUnavailableReason reason = ModelUnavailableReason::other;  // meaningful when not available

    static ModelAvailability available() { return {true, ModelUnavailableReason::other}; }
    static ModelAvailability unavailable(ModelUnavailableReason reason) { return {false, reason}; }
};

enum class SamplingMode { greedy };

struct GenerationOptions {
    SamplingMode sampling = SamplingMode::greedy;
    std::optional<double> temperature;
    // None: the model decides where to stop.
    std::optional<std::int64_t> maximumResponseTokens;

    bool operator==(const GenerationOptions&) const = default;
};

struct GenerationSchemaProperty {
    std::string name;
    std::string description;
    std::string type;  // "string"

    bool operator==(const GenerationSchemaProperty&) const = default;
};

// The shape of a typed answer.
struct GenerationSchema {
    std::string type;  // "GeneratedContent"
    std::string description;
    std::vector<GenerationSchemaProperty> properties;

    bool operator==(const GenerationSchema&) const = default;
};

// A typed answer as the model produced it: its properties as a JSON object,
// and whether generation ran to its end.
struct GeneratedContent {
    bool isComplete = true;
    nlohmann::json properties = nlohmann::json::object();
};

// The string value of one property; an error when it is missing or not a
// string.
Result<std::string> stringProperty(const GeneratedContent& content, std::string_view name);

struct Instructions {
    std::string text;
};

// The errors the model reports for a generation. Codes are stable; a code not
// listed here is a kind of generation error this build does not know.
inline constexpr std::string_view kGenerationErrorDomain = "MurmoLanguageModelGeneration";

enum class GenerationErrorCase : long {
    exceededContextWindowSize = 1,
    assetsUnavailable = 2,
    guardrailViolation = 3,
    unsupportedGuide = 4,
    unsupportedLanguageOrLocale = 5,
    decodingFailure = 6,
    rateLimited = 7,
    concurrentRequests = 8,
    refusal = 9,
};

Error generationError(GenerationErrorCase errorCase, std::string message = {});

class LanguageModelSession {
public:
    virtual ~LanguageModelSession() = default;

    // Loads what the model needs so the next answer starts sooner.
    virtual void prewarm() = 0;
    virtual Result<std::string> respond(const std::string& prompt, const GenerationOptions& options) = 0;
    virtual Result<GeneratedContent> respond(const std::string& prompt, const GenerationSchema& schema,
                                             bool includeSchemaInPrompt, const GenerationOptions& options) = 0;
};

// The general-purpose system model under one guardrail setting.
class SystemLanguageModel {
public:
    virtual ~SystemLanguageModel() = default;

    virtual ModelAvailability availability() const = 0;
    virtual bool supportsLocale(const std::string& localeIdentifier) const = 0;

    virtual Result<std::int64_t> tokenCount(const Instructions& instructions) const = 0;
    virtual Result<std::int64_t> tokenCount(const GenerationSchema& schema) const = 0;
    virtual Result<std::int64_t> tokenCount(const std::string& prompt) const = 0;

    // A session with no tools.
    virtual std::unique_ptr<LanguageModelSession> makeSession(const Instructions& instructions) = 0;
};

// Where models come from, and what this system's model framework can do.
class LanguageModelPlatform {
public:
    virtual ~LanguageModelPlatform() = default;

    // Token counting arrived in a later release of the model framework than
    // the model itself.
    virtual bool canCountTokens() const = 0;
    virtual std::shared_ptr<SystemLanguageModel> makeModel(Guardrails guardrails) = 0;
};

}  // namespace murmo::bridge
