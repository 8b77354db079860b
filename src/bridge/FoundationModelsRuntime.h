#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bridge/BridgeRuntime.h"
#include "bridge/LanguageModel.h"
#include "bridge/SystemLocale.h"
#include "bridge/Workspace.h"
#include "runtime/Clock.h"

namespace murmo::bridge {

// A quick-assistant request may bring at most this many tokens of
// instructions, prompt and schema together.
inline constexpr std::int64_t kQuickAgentTokenBudget = 1800;
// The longest answer text the bridge hands back, in UTF-8 bytes.
inline constexpr std::size_t kMaximumOutputBytes = 0x20000;  // 131,072

// The instructions of every session: the person's locale first, then the
// request's own instructions.
std::string effectiveInstructions(const SessionIdentity& identity);

// The shape of the quick assistant's typed answer.
GenerationSchema agentAnswerSchema();

// Serves requests with the system's on-device model. One instance lives for
// the whole process: it keeps at most one warm session for the next matching
// generation, and the token counts of the quick assistant's fixed parts.
class FoundationModelsRuntime final : public BridgeRuntime {
public:
    struct Dependencies {
        LanguageModelPlatform& models;
        const SystemLocale& systemLocale;
        Workspace& workspace;
        const Clock& clock;
    };

    explicit FoundationModelsRuntime(Dependencies dependencies) : dependencies_(dependencies) {}

    Envelope handle(const BridgeRequest& request) override;

private:
    struct WarmedSession {
        SessionIdentity identity;
        std::unique_ptr<LanguageModelSession> session;
    };

    struct QuickAgentFixedTokenCount {
        SessionIdentity identity;
        std::int64_t count = 0;
    };

    struct Readiness {
        std::shared_ptr<SystemLanguageModel> model;
        std::string availability;
        std::optional<std::string> unavailableReason;
        bool supportsLocale = false;

        bool available() const { return !unavailableReason; }
        bool ready() const { return available() && supportsLocale; }
    };

    BridgeResult<Json> dispatch(const BridgeRequest& request);
    BridgeResult<Json> status(const BridgeRequest& request);
    BridgeResult<Json> prepare(const BridgeRequest& request);
    BridgeResult<Json> warmup(const BridgeRequest& request);
    BridgeResult<Json> generate(const BridgeRequest& request);
    Json unload();

    Readiness readiness(RequestPurpose purpose, const std::string& localeIdentifier);
    static BridgeResult<void> requireReady(const Readiness& readiness);
    static Json statusResult(const Readiness& readiness, const std::string& localeIdentifier, bool warmed);

    // The instructions, prompt and schema tokens of a quick-assistant
    // request, refused above the budget.
    BridgeResult<std::int64_t> quickAgentPromptTokens(const GenerationRequest& request,
                                                      const SystemLanguageModel& model,
                                                      const std::optional<GenerationSchema>& schema);
    BridgeResult<std::int64_t> fixedTokenCount(const SessionIdentity& identity, const SystemLanguageModel& model);
    BridgeResult<std::int64_t> schemaTokenCount(const GenerationSchema& schema, const SystemLanguageModel& model);

    Dependencies dependencies_;
    std::optional<WarmedSession> warmedSession_;
    std::optional<QuickAgentFixedTokenCount> quickAgentFixedTokenCount_;
    std::optional<std::int64_t> quickAgentSchemaTokenCount_;
};

}  // namespace murmo::bridge
