#include <gtest/gtest.h>

#include "BridgeTestSupport.h"
#include "bridge/BridgeFailure.h"
#include "bridge/BridgeResponse.h"
#include "bridge/LanguageModel.h"

namespace murmo::bridge {
namespace {

using testing::Json;

TEST(BridgeResponse, LinesAreCompactWithSortedKeysAndEscapedSlashes) {
    const auto line = responseLine(BridgeResponse::success(
        "a/b", Json{{"zeta", 1}, {"alpha", Json{{"y", "https://x/y"}, {"b", nullptr}}}, {"text", "line\nbreak"}}));
    EXPECT_EQ(
        line,
        R"({"id":"a\/b","ok":true,"result":{"alpha":{"b":null,"y":"https:\/\/x\/y"},"text":"line\nbreak","zeta":1}})");
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(BridgeResponse, FailureEnvelopeCarriesCodeAndMessage) {
    EXPECT_EQ(
        responseLine(BridgeResponse::failure(std::nullopt, BridgeFailure(BridgeFailureKind::invalidArguments))),
        R"({"error":{"code":"invalid_arguments","message":"The bridge accepts only the optional --once argument."},"id":null,"ok":false})");
    EXPECT_EQ(responseLine(BridgeResponse::failure("r1", BridgeFailure("x", "y"))),
              R"({"error":{"code":"x","message":"y"},"id":"r1","ok":false})");
}

TEST(BridgeResponse, AnEnvelopeThatCannotBeSerialisedBecomesTheFixedLine) {
    const auto line = responseLine(BridgeResponse::success("r1", Json{{"text", "bad \xff byte"}}));
    EXPECT_EQ(
        line,
        R"({"id":null,"ok":false,"error":{"code":"serialization_failed","message":"The bridge response could not be serialized."}})");
    EXPECT_EQ(line.size(), 119u);
}

TEST(BridgeFailure, GenerationErrorsMapToTheirCodes) {
    struct Case {
        Error error;
        std::string code;
        std::string message;
    };
    const std::string declined = "The on-device model declined this request.";
    const std::string failed = "The on-device model could not generate a response.";
    const std::vector<Case> cases{
        {generationError(GenerationErrorCase::exceededContextWindowSize), "context_window_exceeded",
         "The request exceeds the on-device model context window."},
        {generationError(GenerationErrorCase::assetsUnavailable), "assets_unavailable",
         "The on-device model assets are not available."},
        {generationError(GenerationErrorCase::guardrailViolation), "guardrail_violation", declined},
        {generationError(GenerationErrorCase::unsupportedGuide), "unsupported_guide",
         "The on-device model cannot use the requested generation guide."},
        {generationError(GenerationErrorCase::unsupportedLanguageOrLocale), "unsupported_locale",
         "The on-device model does not support the request locale."},
        {generationError(GenerationErrorCase::decodingFailure), "decoding_failed",
         "The on-device model could not decode a response."},
        {generationError(GenerationErrorCase::rateLimited), "rate_limited",
         "The on-device model is temporarily rate limited."},
        {generationError(GenerationErrorCase::concurrentRequests), "concurrent_request",
         "The on-device model is already serving a request."},
        {generationError(GenerationErrorCase::refusal), "refusal", declined},
        {Error(std::string(kGenerationErrorDomain), 99, "a case from a later release"), "generation_failed", failed},
        {Error("SomethingElse", 3, "not a generation error"), "generation_failed", failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(generationFailure(c.error), BridgeFailure(c.code, c.message));
    }
}

}  // namespace
}  // namespace murmo::bridge
