#include "support/bridge/ScriptedLanguageModel.h"

#include <utility>

namespace murmo::bridge {

namespace {

using State = ScriptedLanguageModelPlatform::State;

template <class T>
T nextAnswer(std::deque<T>& answers, T fallback) {
    if (answers.empty()) return fallback;
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

class ScriptedSession final : public LanguageModelSession {
public:
    ScriptedSession(std::shared_ptr<State> state, std::size_t index) : state_(std::move(state)), index_(index) {}
    ~ScriptedSession() override { record().released = true; }

    void prewarm() override { ++record().prewarmCount; }

    Result<std::string> respond(const std::string& prompt, const GenerationOptions& options) override {
        record().responses.push_back({prompt, options, std::nullopt, false});
        if (state_->script.whileResponding) state_->script.whileResponding();
        return nextAnswer(state_->script.textAnswers, Result<std::string>("answer"));
    }

    Result<GeneratedContent> respond(const std::string& prompt, const GenerationSchema& schema,
                                     bool includeSchemaInPrompt, const GenerationOptions& options) override {
        record().responses.push_back({prompt, options, schema, includeSchemaInPrompt});
        if (state_->script.whileResponding) state_->script.whileResponding();
        return nextAnswer(state_->script.typedAnswers,
                          Result<GeneratedContent>(GeneratedContent{true, {{"answer", "answer"}}}));
    }

private:
    ScriptedSessionRecord& record() { return state_->log.sessions[index_]; }

    std::shared_ptr<State> state_;
    std::size_t index_;
};

class ScriptedModel final : public SystemLanguageModel {
public:
    ScriptedModel(std::shared_ptr<State> state, Guardrails guardrails)
        : state_(std::move(state)), guardrails_(guardrails) {}

    ModelAvailability availability() const override {
        auto found = state_->script.availability.find(guardrails_);
        return found == state_->script.availability.end() ? ModelAvailability::available() : found->second;
    }

    bool supportsLocale(const std::string& localeIdentifier) const override {
        return !state_->script.unsupportedLocales.contains(localeIdentifier);
    }

    Result<std::int64_t> tokenCount(const Instructions& instructions) const override {
        state_->log.tokenCounts.push_back({TokenCountKind::instructions, instructions.text});
        return state_->script.instructionsTokens;
    }

    Result<std::int64_t> tokenCount(const GenerationSchema& schema) const override {
        state_->log.tokenCounts.push_back({TokenCountKind::schema, schema.description});
        return state_->script.schemaTokens;
    }

    Result<std::int64_t> tokenCount(const std::string& prompt) const override {
        state_->log.tokenCounts.push_back({TokenCountKind::prompt, prompt});
        return state_->script.promptTokens;
    }

    std::unique_ptr<LanguageModelSession> makeSession(const Instructions& instructions) override {
        state_->log.sessions.push_back(ScriptedSessionRecord{guardrails_, instructions.text, 0, {}, false});
        return std::make_unique<ScriptedSession>(state_, state_->log.sessions.size() - 1);
    }

private:
    std::shared_ptr<State> state_;
    Guardrails guardrails_;
};

}  // namespace

std::shared_ptr<SystemLanguageModel> ScriptedLanguageModelPlatform::makeModel(Guardrails guardrails) {
    state_->log.modelsMade.push_back(guardrails);
    return std::make_shared<ScriptedModel>(state_, guardrails);
}

}  // namespace murmo::bridge
