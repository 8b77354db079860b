#pragma once

// A language model that answers from a script and records every model,
// session and call, so tests and the fuzzer can drive the runtimes where no
// on-device model exists.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bridge/LanguageModel.h"

namespace murmo::bridge {

// What the model does; may be changed between requests.
struct ScriptedModelScript {
    std::map<Guardrails, ModelAvailability> availability;  // available unless listed
    std::set<std::string> unsupportedLocales;
    bool canCountTokens = true;
    Result<std::int64_t> instructionsTokens = 0;
    Result<std::int64_t> schemaTokens = 0;
    Result<std::int64_t> promptTokens = 0;
    // Answered in order; when empty, plain answers are "answer" and typed
    // ones a complete {"answer": "answer"}.
    std::deque<Result<std::string>> textAnswers;
    std::deque<Result<GeneratedContent>> typedAnswers;
    // Runs inside every respond call (to let a test clock move, say).
    std::function<void()> whileResponding;
};

struct ScriptedResponseRecord {
    std::string prompt;
    GenerationOptions options;
    std::optional<GenerationSchema> schema;
    bool includeSchemaInPrompt = false;
};

struct ScriptedSessionRecord {
    Guardrails guardrails = Guardrails::standard;
    std::string instructions;
    int prewarmCount = 0;
    std::vector<ScriptedResponseRecord> responses;
    bool released = false;
};

enum class TokenCountKind { instructions, schema, prompt };

struct ScriptedTokenCountRecord {
    TokenCountKind kind = TokenCountKind::prompt;
    std::string text;  // instructions or prompt; the schema's description
};

struct ScriptedModelLog {
    std::vector<Guardrails> modelsMade;
    std::vector<ScriptedSessionRecord> sessions;
    std::vector<ScriptedTokenCountRecord> tokenCounts;
};

class ScriptedLanguageModelPlatform final : public LanguageModelPlatform {
public:
    struct State {
        ScriptedModelScript script;
        ScriptedModelLog log;
    };

    ScriptedLanguageModelPlatform() : state_(std::make_shared<State>()) {}

    bool canCountTokens() const override { return state_->script.canCountTokens; }
    std::shared_ptr<SystemLanguageModel> makeModel(Guardrails guardrails) override;

    ScriptedModelScript& script() { return state_->script; }
    const ScriptedModelLog& log() const { return state_->log; }

private:
    std::shared_ptr<State> state_;
};

}  // namespace murmo::bridge
