#include "shell/dashboard/WebScriptVerdict.h"

#include <gtest/gtest.h>

#include <string>

namespace murmo {
namespace {

TEST(WebScriptVerdictTest, OnlyTheJsonValueTrueIsAYes) {
    struct Case {
        const char* what;
        WebScriptResult result;
        bool yes;
    };
    const auto value = [](json::Json json) -> WebScriptResult { return std::optional<json::Json>(std::move(json)); };
    const Case cases[] = {
        {"true", value(true), true},
        {"false", value(false), false},
        {"1", value(1), false},
        {"1.0", value(1.0), false},
        {"\"true\"", value("true"), false},
        {"null", value(nullptr), false},
        {"[true]", value(json::Json::array({true})), false},
        {"{\"value\": true}", value(json::Json{{"value", true}}), false},
        {"no value", std::optional<json::Json>(), false},
        {"an error", fail(std::string(kWebScriptErrorDomain), 699, "thrown"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isJsonTrue(c.result), c.yes) << c.what;
    }
}

}  // namespace
}  // namespace murmo
