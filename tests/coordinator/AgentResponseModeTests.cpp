#include "coordinator/AgentResponseMode.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

TEST(AgentResponseModeTest, RawValuesRoundTripExactlyAndNothingElseParses) {
    const std::pair<AgentResponseMode, std::string_view> rows[] = {
        {AgentResponseMode::text, "text"},
        {AgentResponseMode::voice, "voice"},
        {AgentResponseMode::both, "both"},
    };
    for (const auto& [mode, raw] : rows) {
        EXPECT_EQ(rawValue(mode), raw);
        EXPECT_EQ(agentResponseModeFromRawValue(raw), mode);
    }
    for (std::string_view other : {"", "Voice", "BOTH", " text", "text ", "speak"}) {
        EXPECT_EQ(agentResponseModeFromRawValue(other), std::nullopt) << '"' << other << '"';
    }
}

TEST(AgentResponseModeTest, PresentationOfEachMode) {
    EXPECT_TRUE(showsText(AgentResponseMode::text));
    EXPECT_FALSE(speaks(AgentResponseMode::text));
    EXPECT_FALSE(showsText(AgentResponseMode::voice));
    EXPECT_TRUE(speaks(AgentResponseMode::voice));
    EXPECT_TRUE(showsText(AgentResponseMode::both));
    EXPECT_TRUE(speaks(AgentResponseMode::both));
}

TEST(AgentResponseModeTest, ResolvedTakesAnExactValueElseTheFallbackElseText) {
    struct Row {
        std::optional<std::string_view> value;
        std::string_view fallback;
        AgentResponseMode expected;
    };
    const Row rows[] = {
        {"voice", "text", AgentResponseMode::voice},
        {"both", "voice", AgentResponseMode::both},
        {"text", "both", AgentResponseMode::text},
        {std::nullopt, "voice", AgentResponseMode::voice},
        {std::nullopt, "both", AgentResponseMode::both},
        {std::nullopt, "text", AgentResponseMode::text},
        {" voice", "text", AgentResponseMode::text},  // not trimmed: no mode, so the fallback
        {"Voice", "both", AgentResponseMode::both},   // case-sensitive
        {"", "voice", AgentResponseMode::voice},
        {std::nullopt, "speak", AgentResponseMode::text},  // an unknown setting still shows the answer
        {"loud", "", AgentResponseMode::text},
        {std::nullopt, "Both", AgentResponseMode::text},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(resolved(row.value, row.fallback), row.expected)
            << "value \"" << row.value.value_or("<absent>") << "\", fallback \"" << row.fallback << '"';
    }
}

}  // namespace
}  // namespace murmo
