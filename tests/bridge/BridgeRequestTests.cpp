#include <gtest/gtest.h>

#include <string>

#include "BridgeTestSupport.h"
#include "bridge/BridgeRequest.h"
#include "bridge/PosixSystemLocale.h"
#include "support/bridge/FixedSystemLocale.h"

namespace murmo::bridge {
namespace {

using testing::accepted;
using testing::Json;
using testing::requestObject;

// A status request padded with a string field to exactly `size` bytes.
std::string paddedLine(std::size_t size) {
    const std::string head = R"({"protocol_version":1,"id":"r1","action":"status","pad":")";
    const std::string tail = R"("})";
    return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

std::string repeated(std::string_view text, std::size_t count) {
    std::string result;
    for (std::size_t i = 0; i < count; ++i) result += text;
    return result;
}

struct ParseCase {
    std::string name;
    std::string line;
    std::string code;  // empty: accepted
    std::string id = "r1";
    std::string action = "status";
};

TEST(BridgeRequestParse, ChecksSizeFormProtocolIdAndActionInOrder) {
    const std::string ok = R"("id":"r1","action":"status")";
    const std::vector<ParseCase> cases{
        {"empty line", "", "invalid_request_size"},
        {"exactly the limit", paddedLine(262'144), ""},
        {"one byte over the limit", paddedLine(262'145), "invalid_request_size"},
        {"array", "[1]", "invalid_request"},
        {"bare number", "1", "invalid_json"},
        {"bare string", R"("status")", "invalid_json"},
        {"broken object", R"({"id":)", "invalid_json"},
        {"invalid UTF-8", "{\"protocol_version\":1," + ok.substr(0, 10) + "\xff\"}", "invalid_json"},
        {"no protocol", "{" + ok + "}", "unsupported_protocol"},
        {"protocol as string", R"({"protocol_version":"1",)" + ok + "}", "unsupported_protocol"},
        {"protocol 2", R"({"protocol_version":2,)" + ok + "}", "unsupported_protocol"},
        {"fraction below 1", R"({"protocol_version":0.9,)" + ok + "}", "unsupported_protocol"},
        {"fraction above 1", R"({"protocol_version":1.5,)" + ok + "}", ""},
        {"huge", R"({"protocol_version":1e300,)" + ok + "}", "unsupported_protocol"},
        {"huge negative", R"({"protocol_version":-1e300,)" + ok + "}", "unsupported_protocol"},
        {"largest unsigned", R"({"protocol_version":18446744073709551615,)" + ok + "}", "unsupported_protocol"},
        {"boolean passed over for alias", R"({"protocol_version":true,"protocolVersion":1,)" + ok + "}", ""},
        {"first number decides", R"({"protocol_version":2,"protocolVersion":1,)" + ok + "}", "unsupported_protocol"},
        {"camel-case alias", R"({"protocolVersion":1,)" + ok + "}", ""},
        {"no id", R"({"protocol_version":1,"action":"status"})", "invalid_id"},
        {"empty id", R"({"protocol_version":1,"id":"","request_id":"r2","action":"status"})", "invalid_id"},
        {"numeric id passed over", R"({"protocol_version":1,"id":7,"request_id":"r2","action":"status"})", "", "r2"},
        {"id of 128 bytes", R"({"protocol_version":1,"action":"status","id":")" + std::string(128, 'i') + "\"}", "",
         std::string(128, 'i')},
        {"id of 129 bytes", R"({"protocol_version":1,"action":"status","id":")" + std::string(129, 'i') + "\"}",
         "invalid_id"},
        {"65 characters are 130 bytes",
         R"({"protocol_version":1,"action":"status","id":")" + repeated("\u00e9", 65) + "\"}", "invalid_id"},
        {"no action", R"({"protocol_version":1,"id":"r1"})", "invalid_action"},
        {"numeric action passed over", R"({"protocol_version":1,"id":"r1","action":3,"command":"unload"})", "", "r1",
         "unload"},
        {"type alias", R"({"protocol_version":1,"id":"r1","type":"generate"})", "", "r1", "generate"},
        {"capitals and hyphen", R"({"protocol_version":1,"id":"r1","action":"OPEN-SETTINGS"})", "", "r1",
         "open_settings"},
        {"mixed case", R"({"protocol_version":1,"id":"r1","action":"Warmup"})", "", "r1", "warmup"},
        {"warm-up is no action", R"({"protocol_version":1,"id":"r1","action":"WARM-UP"})", "unsupported_action"},
        {"unknown action", R"({"protocol_version":1,"id":"r1","action":"dance"})", "unsupported_action"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto request = parseRequest(c.line);
        if (c.code.empty()) {
            ASSERT_TRUE(request.has_value()) << request.error().code;
            EXPECT_EQ(request->id, c.id);
            EXPECT_EQ(request->action, c.action);
        } else {
            ASSERT_FALSE(request.has_value());
            EXPECT_EQ(request.error().code, c.code);
        }
    }
}

TEST(BridgeRequestParse, RefusalsCarryTheirMessages) {
    EXPECT_EQ(parseRequest("[]").error(), BridgeFailure("invalid_request", "Each request must be a JSON object."));
    EXPECT_EQ(parseRequest("").error(),
              BridgeFailure("invalid_request_size", "The JSON-lines request is empty or exceeds the bridge limit."));
    EXPECT_EQ(parseRequest(R"({"id":"a","action":"status"})").error(),
              BridgeFailure("unsupported_protocol", "The request must use bridge protocol version 1."));
}

TEST(BridgeRequestParse, DeeplyNestedValuesAreAcceptedWithoutRecursion) {
    // Nested arrays fill most of the size limit; decoding, keeping and
    // dropping them must not recurse once per level.
    const std::size_t depth = 120'000;
    const std::string line = R"({"protocol_version":1,"id":"r1","action":"status","x":)" + std::string(depth, '[') +
                             std::string(depth, ']') + "}";
    ASSERT_LE(line.size(), kMaximumRequestBytes);
    auto request = parseRequest(line);
    ASSERT_TRUE(request.has_value());
    BridgeRequest moved = std::move(*request);
    EXPECT_EQ(moved.action, "status");
}

TEST(BridgeRequestReaders, PurposeWordsAndAliases) {
    struct Case {
        Json fields;
        std::optional<RequestPurpose> purpose;  // nullopt: refused
    };
    const std::vector<Case> cases{
        {Json::object(), RequestPurpose::help},
        {{{"purpose", ""}}, RequestPurpose::help},
        {{{"purpose", "Chat"}}, RequestPurpose::help},
        {{{"purpose", "Dictation-PostProcess"}}, RequestPurpose::dictation},
        {{{"operation", "rewrite"}}, RequestPurpose::transform},
        {{{"mode", "agent_answer"}}, RequestPurpose::quickAgent},
        {{{"purpose", 3}, {"task", "dictate"}}, RequestPurpose::dictation},
        {{{"purpose", 3}}, RequestPurpose::help},
        {{{"purpose", " help"}}, std::nullopt},
        {{{"purpose", "summarise"}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields.dump());
        auto purpose = accepted(requestObject("status", c.fields)).purpose();
        if (c.purpose) {
            ASSERT_TRUE(purpose.has_value());
            EXPECT_EQ(*purpose, *c.purpose);
        } else {
            ASSERT_FALSE(purpose.has_value());
            EXPECT_EQ(purpose.error(),
                      BridgeFailure("unsupported_purpose", "The requested model purpose is not supported."));
        }
    }
}

TEST(BridgeRequestReaders, EffectiveLocale) {
    const FixedSystemLocale system("en_US");
    struct Case {
        Json fields;
        std::string locale;  // empty: invalid_locale
    };
    const std::vector<Case> cases{
        {Json::object(), "en-US"},
        {{{"locale", ""}}, "en-US"},
        {{{"locale", " AUTO \n"}}, "en-US"},
        {{{"locale", "de_DE"}}, "de-DE"},
        {{{"locale", "\tzh_Hant_TW\u00a0"}}, "zh-Hant-TW"},
        {{{"locale", "EN_us"}}, "EN-us"},
        {{{"locale", 5}, {"language", "fr"}}, "fr"},
        {{{"locale_identifier", std::string(128, 'a')}}, std::string(128, 'a')},
        {{{"locale", std::string(129, 'a')}}, ""},
        {{{"locale", "en US"}}, ""},
        {{{"locale", "fr-\u00c7A"}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields.dump());
        auto locale = accepted(requestObject("status", c.fields)).effectiveLocaleIdentifier(system);
        if (!c.locale.empty()) {
            ASSERT_TRUE(locale.has_value());
            EXPECT_EQ(*locale, c.locale);
        } else {
            ASSERT_FALSE(locale.has_value());
            EXPECT_EQ(locale.error(), BridgeFailure("invalid_locale", "The requested locale identifier is invalid."));
        }
    }
    // The system's own identifier is held to the same rule.
    auto fromBadSystem = accepted(requestObject("status")).effectiveLocaleIdentifier(FixedSystemLocale("en US"));
    ASSERT_FALSE(fromBadSystem.has_value());
    EXPECT_EQ(fromBadSystem.error().code, "invalid_locale");
}

TEST(BridgeRequestReaders, GenerationRequestLimitsAndDefaults) {
    const FixedSystemLocale system("en_US");
    const Json base{{"prompt", "hello"}};
    auto withFields = [&](Json fields) {
        Json merged = base;
        merged.update(fields);
        return accepted(requestObject("generate", merged)).generationRequest(system);
    };
    struct Case {
        Json fields;
        std::int64_t tokens;  // 0: refused with `code`
        std::string code = {};
    };
    const std::vector<Case> cases{
        {Json::object(), 1024},
        {{{"purpose", "dictation"}}, 2048},
        {{{"purpose", "transform"}}, 2048},
        {{{"purpose", "agent"}}, 1024},
        {{{"max_output_tokens", 4096}}, 4096},
        {{{"max_output_tokens", 4096.9}}, 4096},
        {{{"max_output_tokens", 1.5}}, 1},
        {{{"maximum_response_tokens", 300}}, 300},
        {{{"max_output_tokens", "300"}}, 1024},
        {{{"max_output_tokens", true}, {"max_tokens", 12}}, 12},
        {{{"max_output_tokens", 0}}, 0, "invalid_max_output_tokens"},
        {{{"max_output_tokens", 0.5}}, 0, "invalid_max_output_tokens"},
        {{{"max_output_tokens", 4097}}, 0, "invalid_max_output_tokens"},
        {{{"max_output_tokens", 1e300}}, 0, "invalid_max_output_tokens"},
        {{{"max_output_tokens", -1e300}}, 0, "invalid_max_output_tokens"},
        {{{"max_output_tokens", 18446744073709551615ULL}}, 0, "invalid_max_output_tokens"},
        {{{"prompt", ""}}, 0, "invalid_prompt"},
        {{{"prompt", 5}}, 0, "invalid_prompt"},
        {{{"prompt", std::string(131'073, 'p')}}, 0, "prompt_too_large"},
        {{{"instructions", std::string(65'537, 'i')}}, 0, "instructions_too_large"},
        {{{"purpose", "nope"}, {"locale", "bad locale"}}, 0, "unsupported_purpose"},
        {{{"response_schema", "agent_answer_v1"}}, 0, "unsupported_response_schema"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields.dump());
        auto request = withFields(c.fields);
        if (c.code.empty()) {
            ASSERT_TRUE(request.has_value()) << request.error().code;
            EXPECT_EQ(request->maximumTokens, c.tokens);
        } else {
            ASSERT_FALSE(request.has_value());
            EXPECT_EQ(request.error().code, c.code);
        }
    }
    EXPECT_EQ(withFields({{"prompt", std::string(131'073, 'p')}}).error().message,
              "The prompt exceeds the bridge input limit.");
}

TEST(BridgeRequestReaders, GenerationRequestKeepsPromptAndIdentityAsGiven) {
    const FixedSystemLocale system("en_US");
    auto request = accepted(requestObject("generate", {{"input_text", "   "},
                                                       {"system_prompt", std::string(65'536, 'i')},
                                                       {"purpose", "agent"},
                                                       {"language", "de_DE"},
                                                       {"response_schema", "agent_answer_v1"}}))
                       .generationRequest(system);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->prompt, "   ");
    EXPECT_EQ(request->sessionIdentity,
              (SessionIdentity{RequestPurpose::quickAgent, "de-DE", std::string(65'536, 'i')}));
    EXPECT_EQ(request->structuredResponse, StructuredResponseKind::agentAnswerV1);
    EXPECT_EQ(request->prompt.size(), 3u);

    auto atLimit = accepted(requestObject("generate", {{"text", std::string(131'072, 'p')}})).generationRequest(system);
    EXPECT_TRUE(atLimit.has_value());
}

TEST(BridgeRequestReaders, StructuredResponseKind) {
    struct Case {
        Json schema;
        RequestPurpose purpose;
        std::optional<StructuredResponseKind> kind;
        bool refused = false;
    };
    const std::vector<Case> cases{
        {nullptr, RequestPurpose::quickAgent, std::nullopt},
        {"", RequestPurpose::quickAgent, std::nullopt},
        {7, RequestPurpose::quickAgent, std::nullopt},
        {"agent_answer_v1", RequestPurpose::quickAgent, StructuredResponseKind::agentAnswerV1},
        {"agent_answer_v1", RequestPurpose::help, std::nullopt, true},
        {"Agent_Answer_V1", RequestPurpose::quickAgent, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.schema.dump());
        auto kind =
            accepted(requestObject("generate", {{"response_schema", c.schema}})).structuredResponseKind(c.purpose);
        if (c.refused) {
            ASSERT_FALSE(kind.has_value());
            EXPECT_EQ(kind.error(), BridgeFailure("unsupported_response_schema",
                                                  "The requested structured response schema is not supported."));
        } else {
            ASSERT_TRUE(kind.has_value());
            EXPECT_EQ(*kind, c.kind);
        }
    }
}

TEST(BridgeRequestReaders, WarmupIdentityChecksThePrefixWithoutKeepingIt) {
    const FixedSystemLocale system("en_US");
    auto identity = accepted(requestObject("warmup", {{"purpose", "dictation"},
                                                      {"system", "Be brief."},
                                                      {"prompt_prefix", std::string(131'072, 'p')}}))
                        .warmupIdentity(system);
    ASSERT_TRUE(identity.has_value());
    EXPECT_EQ(*identity, (SessionIdentity{RequestPurpose::dictation, "en-US", "Be brief."}));

    auto tooLong =
        accepted(requestObject("warmup", {{"prompt_prefix", std::string(131'073, 'p')}})).warmupIdentity(system);
    ASSERT_FALSE(tooLong.has_value());
    EXPECT_EQ(tooLong.error(), BridgeFailure("prompt_too_large", "The prompt prefix exceeds the bridge input limit."));

    auto badInstructions =
        accepted(requestObject("warmup", {{"instructions", std::string(65'537, 'i')}})).warmupIdentity(system);
    ASSERT_FALSE(badInstructions.has_value());
    EXPECT_EQ(badInstructions.error(),
              BridgeFailure("instructions_too_large", "The model instructions exceed the bridge input limit."));
}

TEST(PosixSystemLocale, ReadsTheEnvironmentWithoutEncodingOrModifier) {
    struct Case {
        EnvironmentMap environment;
        std::string identifier;
    };
    const std::vector<Case> cases{
        {{{"LANG", "de_DE.UTF-8"}}, "de_DE"},
        {{{"LC_ALL", "fr_FR.ISO-8859-15@euro"}, {"LANG", "de_DE.UTF-8"}}, "fr_FR"},
        {{{"LC_MESSAGES", "sr_RS@latin"}, {"LANG", "de_DE"}}, "sr_RS"},
        {{{"LC_ALL", ""}, {"LANG", "it_IT"}}, "it_IT"},
        {{{"LANG", "C.UTF-8"}}, "en_US_POSIX"},
        {{}, "en_US_POSIX"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PosixSystemLocale(c.environment).currentIdentifier(), c.identifier);
    }
}

}  // namespace
}  // namespace murmo::bridge
