#include <gtest/gtest.h>

#include "BridgeTestSupport.h"
#include "bridge/FoundationModelsRuntime.h"
#include "support/bridge/FixedSystemLocale.h"
#include "support/bridge/ScriptedLanguageModel.h"

namespace murmo::bridge {
namespace {

using testing::accepted;
using testing::Json;
using testing::requestObject;

class FoundationModelsRuntimeTest : public ::testing::Test {
protected:
    Envelope send(std::string_view action, Json fields = Json::object()) {
        return runtime.handle(accepted(requestObject(action, std::move(fields))));
    }

    Json result(std::string_view action, Json fields = Json::object()) {
        auto envelope = send(action, std::move(fields));
        EXPECT_EQ(envelope["ok"], true) << envelope.dump();
        EXPECT_EQ(envelope["id"], "r1");
        return envelope["result"];
    }

    BridgeFailure failure(std::string_view action, Json fields = Json::object()) {
        auto envelope = send(action, std::move(fields));
        EXPECT_EQ(envelope["ok"], false) << envelope.dump();
        EXPECT_EQ(envelope["id"], "r1");
        return BridgeFailure(envelope["error"].value("code", ""), envelope["error"].value("message", ""));
    }

    bool warmed() { return result("status")["warmed"] == true; }

    const ScriptedModelLog& log() const { return models.log(); }
    ScriptedModelScript& script() { return models.script(); }

    ScriptedLanguageModelPlatform models;
    FixedSystemLocale systemLocale{"en_US"};
    testing::FakeWorkspace workspace;
    testing::TestClock clock;
    FoundationModelsRuntime runtime{{models, systemLocale, workspace, clock}};
};

TEST_F(FoundationModelsRuntimeTest, StatusReportsTheModelAsTheFrameworkSeesIt) {
    EXPECT_EQ(result("status"), Json::parse(R"({
        "protocol_version": 1, "compiled": true, "os_supported": true, "provider": "apple_foundation",
        "availability": "available", "unavailable_reason": null, "locale": "en-US",
        "supports_locale": true, "locale_supported": true, "available": true, "ready": true, "warmed": false,
        "runtime_state": "sleeping", "detail": "Apple's on-device model is available."})"));

    struct Case {
        ModelAvailability availability;
        bool localeSupported;
        std::string state;
        std::string detail;
    };
    const std::vector<Case> cases{
        {ModelAvailability::available(), false, "sleeping",
         "Apple's on-device model does not support the requested locale."},
        {ModelAvailability::unavailable(ModelUnavailableReason::appleIntelligenceNotEnabled), true,
         "apple_intelligence_not_enabled", "Apple Intelligence is not enabled in System Settings."},
        {ModelAvailability::unavailable(ModelUnavailableReason::deviceNotEligible), true, "device_not_eligible",
         "This Mac is not eligible for Apple Intelligence."},
        {ModelAvailability::unavailable(ModelUnavailableReason::modelNotReady), true, "model_not_ready",
         "Apple's on-device model is not ready yet."},
        {ModelAvailability::unavailable(ModelUnavailableReason::other), true, "model_not_ready",
         "Apple's on-device model is not ready yet."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        script().availability[Guardrails::standard] = c.availability;
        script().unsupportedLocales = c.localeSupported ? std::set<std::string>{} : std::set<std::string>{"fr-CA"};
        auto status = result("status", {{"locale", "fr_CA"}});
        EXPECT_EQ(status["runtime_state"], c.state);
        EXPECT_EQ(status["detail"], c.detail);
        EXPECT_EQ(status["ready"], false);
        EXPECT_EQ(status["locale"], "fr-CA");
        EXPECT_EQ(status["supports_locale"], c.localeSupported);
        EXPECT_EQ(status["locale_supported"], c.localeSupported);
        EXPECT_EQ(status["available"], c.availability.isAvailable);
        EXPECT_EQ(status["availability"], c.availability.isAvailable ? "available" : "unavailable");
        EXPECT_EQ(status["unavailable_reason"], c.availability.isAvailable ? Json(nullptr) : Json(c.state));
    }
}

TEST_F(FoundationModelsRuntimeTest, TextRewritingPurposesUsePermissiveGuardrails) {
    for (const auto& [purpose, guardrails] :
         std::vector<std::pair<std::string, Guardrails>>{{"dictation", Guardrails::permissiveContentTransformations},
                                                         {"transform", Guardrails::permissiveContentTransformations},
                                                         {"help", Guardrails::standard},
                                                         {"agent", Guardrails::standard}}) {
        result("status", {{"purpose", purpose}});
        EXPECT_EQ(log().modelsMade.back(), guardrails) << purpose;
    }
    // A model whose guardrails are unavailable answers for its purposes only.
    script().availability[Guardrails::permissiveContentTransformations] =
        ModelAvailability::unavailable(ModelUnavailableReason::modelNotReady);
    EXPECT_EQ(result("status", {{"purpose", "dictation"}})["ready"], false);
    EXPECT_EQ(result("status", {{"purpose", "help"}})["ready"], true);
}

TEST_F(FoundationModelsRuntimeTest, WarmupKeepsOneSessionUntilPrepareDropsIt) {
    auto warm =
        result("warmup", {{"purpose", "dictation"}, {"instructions", "Fix punctuation."}, {"prompt_prefix", "x"}});
    EXPECT_EQ(warm["warmed"], true);
    EXPECT_EQ(warm["runtime_state"], "prewarmed");
    EXPECT_EQ(warm["detail"], "Apple's on-device model is prewarmed for the next exact request.");
    EXPECT_EQ(warm["purpose"], "dictation");
    ASSERT_EQ(log().sessions.size(), 1u);
    EXPECT_EQ(log().sessions[0].instructions, "The person's locale is en-US.\n\nFix punctuation.");
    EXPECT_EQ(log().sessions[0].guardrails, Guardrails::permissiveContentTransformations);
    EXPECT_EQ(log().sessions[0].prewarmCount, 1);

    // Any purpose's status reports the kept session.
    EXPECT_EQ(result("status")["runtime_state"], "prewarmed");

    auto prepared = result("prepare", {{"purpose", "transform"}});
    EXPECT_EQ(prepared["warmed"], false);
    EXPECT_EQ(prepared["prepared"], true);
    EXPECT_EQ(prepared["purpose"], "transform");
    EXPECT_EQ(prepared["runtime_state"], "sleeping");
    EXPECT_TRUE(log().sessions[0].released);
    EXPECT_FALSE(warmed());
    EXPECT_EQ(log().sessions.size(), 1u) << "prepare makes no session";
}

TEST_F(FoundationModelsRuntimeTest, WarmSessionSurvivesOnlyWhileTheModelIsReady) {
    result("warmup");
    // A refused status leaves it.
    EXPECT_EQ(failure("status", {{"purpose", "poetry"}}).code, "unsupported_purpose");
    EXPECT_TRUE(warmed());

    script().availability[Guardrails::standard] =
        ModelAvailability::unavailable(ModelUnavailableReason::appleIntelligenceNotEnabled);
    auto status = result("status");
    EXPECT_EQ(status["warmed"], false);
    EXPECT_EQ(status["runtime_state"], "apple_intelligence_not_enabled");
    EXPECT_TRUE(log().sessions[0].released);
}

TEST_F(FoundationModelsRuntimeTest, FailedWarmupLeavesNoWarmSession) {
    struct Case {
        Json fields;
        BridgeFailure failure;
        std::function<void(ScriptedModelScript&)> arrange = [](ScriptedModelScript&) {};
    };
    const std::vector<Case> cases{
        {{{"instructions", std::string(65'537, 'i')}},
         BridgeFailure("instructions_too_large", "The model instructions exceed the bridge input limit.")},
        {{{"locale", "tlh"}},
         BridgeFailure("unsupported_locale", "Apple's on-device model does not support the requested locale."),
         [](ScriptedModelScript& s) { s.unsupportedLocales = {"tlh"}; }},
        {Json::object(), BridgeFailure("device_not_eligible", "Apple's on-device model is not currently available."),
         [](ScriptedModelScript& s) {
             s.availability[Guardrails::standard] =
                 ModelAvailability::unavailable(ModelUnavailableReason::deviceNotEligible);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure.code);
        script() = ScriptedModelScript{};
        result("warmup");
        const auto sessionsBefore = log().sessions.size();
        c.arrange(script());
        EXPECT_EQ(failure("warmup", c.fields), c.failure);
        EXPECT_TRUE(log().sessions.back().released);
        EXPECT_EQ(log().sessions.size(), sessionsBefore);
        script() = ScriptedModelScript{};
        EXPECT_FALSE(warmed());
    }
}

TEST_F(FoundationModelsRuntimeTest, UnloadAlwaysAnswersUnloaded) {
    EXPECT_EQ(result("unload"), Json({{"unloaded", true}}));
    result("warmup");
    EXPECT_EQ(result("unload"), Json({{"unloaded", true}}));
    EXPECT_TRUE(log().sessions[0].released);
}

TEST_F(FoundationModelsRuntimeTest, OpenSettingsOpensTheFirstSettingsApplicationFound) {
    result("warmup");
    workspace.existing = {"/Applications/System Settings.app"};
    EXPECT_EQ(result("open_settings"), Json({{"opened", true}, {"destination", "system_settings"}}));
    EXPECT_EQ(workspace.opened, std::vector<std::string>{"/Applications/System Settings.app"});

    workspace.existing = {"/System/Applications/System Settings.app", "/Applications/System Settings.app"};
    workspace.opens = false;
    EXPECT_EQ(failure("open_settings"), BridgeFailure("settings_unavailable", "System Settings could not be opened."));
    EXPECT_EQ(workspace.opened.back(), "/System/Applications/System Settings.app");

    workspace.existing.clear();
    EXPECT_EQ(failure("open_settings").code, "settings_unavailable");
    EXPECT_TRUE(warmed()) << "the warm session is untouched";
}

TEST_F(FoundationModelsRuntimeTest, PlainGenerationIsGreedyLimitedAndTimed) {
    script().textAnswers = {Result<std::string>(" Hello / there ")};
    script().whileResponding = [this] { clock.current += std::chrono::microseconds(2'500); };
    auto answer = result("generate", {{"prompt", "hi"}});
    EXPECT_EQ(answer, Json::parse(R"({
        "text": " Hello / there ", "locale": "en-US", "purpose": "help", "sampling": "greedy",
        "max_output_tokens": 1024, "response_limit_enforced": true, "structured_output": false,
        "used_warm_session": false, "latency_ms": 2.5, "resolved_model": "apple-system-language-model"})"));

    ASSERT_EQ(log().sessions.size(), 1u);
    const auto& session = log().sessions[0];
    EXPECT_EQ(session.instructions, "The person's locale is en-US.");
    ASSERT_EQ(session.responses.size(), 1u);
    EXPECT_EQ(session.responses[0].prompt, "hi");
    EXPECT_EQ(session.responses[0].options, (GenerationOptions{SamplingMode::greedy, std::nullopt, 1024}));
    EXPECT_FALSE(session.responses[0].schema.has_value());
    EXPECT_TRUE(session.released) << "a session lives only for its request";
    EXPECT_TRUE(log().tokenCounts.empty()) << "only the quick assistant has a budget";
}

TEST_F(FoundationModelsRuntimeTest, OutputLimitIsInBytes) {
    script().textAnswers = {Result<std::string>(std::string(131'072, 'a')),
                            Result<std::string>(std::string(131'071, 'a') + "\u00e9")};
    EXPECT_EQ(result("generate", {{"prompt", "p"}})["text"].get<std::string>().size(), 131'072u);
    EXPECT_EQ(failure("generate", {{"prompt", "p"}}),
              BridgeFailure("output_too_large", "The model response exceeds the bridge output limit."));
}

TEST_F(FoundationModelsRuntimeTest, AWarmSessionServesOneMatchingGeneration) {
    const Json identity{{"purpose", "dictation"}, {"locale", "de_DE"}, {"instructions", "Clean up."}};
    Json generate = identity;
    generate["prompt"] = "text";

    result("warmup", identity);
    EXPECT_EQ(result("generate", generate)["used_warm_session"], true);
    EXPECT_EQ(log().sessions.size(), 1u);
    EXPECT_EQ(log().sessions[0].responses.size(), 1u);
    EXPECT_EQ(result("generate", generate)["used_warm_session"], false);
    EXPECT_EQ(log().sessions.size(), 2u);

    // Other instructions: a fresh session, and the warm one is gone too.
    result("warmup", identity);
    Json other = generate;
    other["instructions"] = "Something else.";
    EXPECT_EQ(result("generate", other)["used_warm_session"], false);
    EXPECT_TRUE(log().sessions[2].released);
    EXPECT_TRUE(log().sessions[2].responses.empty());
    EXPECT_FALSE(warmed());

    // A generation refused while reading its fields leaves the session...
    result("warmup", identity);
    EXPECT_EQ(failure("generate", identity).code, "invalid_prompt");
    EXPECT_TRUE(warmed());
    // ...one that fails later has used it up.
    script().textAnswers = {Result<std::string>(fail(generationError(GenerationErrorCase::refusal)))};
    EXPECT_EQ(failure("generate", generate), BridgeFailure("refusal", "The on-device model declined this request."));
    EXPECT_FALSE(warmed());
}

TEST_F(FoundationModelsRuntimeTest, UnavailableModelRefusesGeneration) {
    result("warmup");
    script().availability[Guardrails::standard] =
        ModelAvailability::unavailable(ModelUnavailableReason::deviceNotEligible);
    EXPECT_EQ(failure("generate", {{"prompt", "p"}}),
              BridgeFailure("device_not_eligible", "Apple's on-device model is not currently available."));
    script().availability.clear();
    EXPECT_FALSE(warmed()) << "the generation consumed the warm session";

    script().unsupportedLocales = {"ja-JP"};
    EXPECT_EQ(failure("generate", {{"prompt", "p"}, {"locale", "ja_JP"}}).code, "unsupported_locale");
}

class QuickAgentBudgetTest : public FoundationModelsRuntimeTest {
protected:
    void SetUp() override {
        script().instructionsTokens = 1000;
        script().schemaTokens = 300;
        script().promptTokens = 500;
    }

    Json typedRequest(Json extra = Json::object()) {
        Json fields{{"purpose", "agent"}, {"prompt", "What is the time?"}, {"response_schema", "agent_answer_v1"}};
        fields.update(extra);
        return fields;
    }

    std::size_t countsOf(TokenCountKind kind) const {
        return static_cast<std::size_t>(std::ranges::count_if(
            log().tokenCounts, [kind](const ScriptedTokenCountRecord& record) { return record.kind == kind; }));
    }
};

TEST_F(QuickAgentBudgetTest, ServesExactlyTheBudgetAndRefusesOneTokenMore) {
    EXPECT_EQ(result("generate", typedRequest())["prompt_tokens"], 1800);

    result("warmup", {{"purpose", "agent"}});
    script().promptTokens = 501;
    EXPECT_EQ(failure("generate", typedRequest()),
              BridgeFailure("agent_prompt_too_large", "The quick Agent request exceeds its safe input budget."));
    EXPECT_FALSE(warmed()) << "a refused budget still consumes the warm session";
    EXPECT_EQ(log().sessions.size(), 2u) << "no session is made for a refused request";
}

TEST_F(QuickAgentBudgetTest, FixedPartsAreCountedOnceAndRecountedForOtherInstructions) {
    result("generate", typedRequest());
    result("generate", typedRequest({{"prompt", "Another question"}}));
    EXPECT_EQ(countsOf(TokenCountKind::instructions), 1u);
    EXPECT_EQ(countsOf(TokenCountKind::schema), 1u);
    EXPECT_EQ(countsOf(TokenCountKind::prompt), 2u);
    EXPECT_EQ(log().tokenCounts[0].text, "The person's locale is en-US.");

    result("generate", typedRequest({{"instructions", "Answer like a pirate."}}));
    result("generate", typedRequest({{"locale", "fr"}}));
    EXPECT_EQ(countsOf(TokenCountKind::instructions), 3u);
    EXPECT_EQ(countsOf(TokenCountKind::schema), 1u);
}

TEST_F(QuickAgentBudgetTest, PlainAnswersCountNoSchemaAndOlderSystemsCountNothing) {
    auto plain = result("generate", {{"purpose", "agent"}, {"prompt", "hi"}});
    EXPECT_EQ(plain["prompt_tokens"], 1500);
    EXPECT_EQ(countsOf(TokenCountKind::schema), 0u);

    script().canCountTokens = false;
    script().promptTokens = 5000;
    auto uncounted = result("generate", typedRequest());
    EXPECT_FALSE(uncounted.contains("prompt_tokens"));
    EXPECT_EQ(log().tokenCounts.size(), 2u);
}

TEST_F(QuickAgentBudgetTest, AFailedTokenCountIsABridgeFailure) {
    const BridgeFailure bridgeFailed("bridge_failed", "The on-device model bridge could not complete the request.");
    script().promptTokens = fail(generationError(GenerationErrorCase::rateLimited));
    EXPECT_EQ(failure("generate", typedRequest()), bridgeFailed);

    script() = ScriptedModelScript{};
    script().schemaTokens = fail("Counter", 1, "no");
    EXPECT_EQ(failure("generate", typedRequest()), bridgeFailed);

    script() = ScriptedModelScript{};
    script().instructionsTokens = fail("Counter", 1, "no");
    EXPECT_EQ(failure("generate", typedRequest({{"instructions", "new"}})), bridgeFailed);
    EXPECT_TRUE(log().sessions.empty()) << "the model was never asked";
}

TEST_F(FoundationModelsRuntimeTest, TypedAnswersComeBackAsTrimmedJSONText) {
    script().typedAnswers = {
        Result<GeneratedContent>(GeneratedContent{true, {{"answer", "\n It is 3/4 past. \u3000"}}})};
    const auto envelope = send("generate", {{"purpose", "quick_agent"},
                                            {"prompt", "time?"},
                                            {"response_schema", "agent_answer_v1"},
                                            {"max_output_tokens", 64}});
    const auto& answer = envelope["result"];
    EXPECT_EQ(answer["text"], R"({"answer":"It is 3\/4 past."})");
    EXPECT_EQ(answer["finish_reason"], "stop");
    EXPECT_EQ(answer["structured_output"], true);
    EXPECT_EQ(answer["response_limit_enforced"], false);
    EXPECT_EQ(answer["max_output_tokens"], 64);
    // The engine reads the slash escaped twice over.
    EXPECT_NE(responseLine(envelope).find(R"("text":"{\"answer\":\"It is 3\\\/4 past.\"}")"), std::string::npos);

    const auto& response = log().sessions.back().responses.at(0);
    EXPECT_EQ(response.options, (GenerationOptions{SamplingMode::greedy, std::nullopt, std::nullopt}));
    EXPECT_TRUE(response.includeSchemaInPrompt);
    ASSERT_TRUE(response.schema.has_value());
    EXPECT_EQ(*response.schema,
              (GenerationSchema{
                  "GeneratedContent",
                  "A short, complete answer from Dorvex's quick assistant.",
                  {{"answer", "One or two complete plain-text sentences, at most 512 characters.", "string"}}}));
}

TEST_F(FoundationModelsRuntimeTest, TypedAnswerFailures) {
    struct Case {
        Result<GeneratedContent> content;
        std::string code;
    };
    const std::vector<Case> cases{
        {GeneratedContent{false, {{"answer", "Half an"}}}, "incomplete_structured_output"},
        {GeneratedContent{true, {{"answer", " \n\t "}}}, "empty_structured_output"},
        {GeneratedContent{true, {{"reply", "wrong key"}}}, "generation_failed"},
        {GeneratedContent{true, {{"answer", "bad \xff byte"}}}, "encoding_failed"},
        {GeneratedContent{true, {{"answer", std::string(131'060, 'a')}}}, "output_too_large"},
        {fail(generationError(GenerationErrorCase::guardrailViolation)), "guardrail_violation"},
        {fail(generationError(GenerationErrorCase::exceededContextWindowSize)), "context_window_exceeded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        script().typedAnswers = {c.content};
        auto envelope =
            send("generate", {{"purpose", "agent"}, {"prompt", "q"}, {"response_schema", "agent_answer_v1"}});
        EXPECT_EQ(envelope["error"]["code"], c.code);
        EXPECT_FALSE(envelope.contains("result"));
    }
}

}  // namespace
}  // namespace murmo::bridge
