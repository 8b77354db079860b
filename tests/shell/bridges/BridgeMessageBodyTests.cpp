#include "shell/bridges/BridgeMessageBody.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace murmo {
namespace {

using json::Json;
using namespace std::string_literals;
using namespace std::string_view_literals;

std::optional<Json> body(std::string_view text) { return Json::parse(text); }

TEST(BridgeMessageBodyTest, OnlyAnObjectIsABody) {
    const auto object = body("{}");
    EXPECT_TRUE(BridgeMessageBody::of(object));
    const std::optional<Json> none;
    EXPECT_FALSE(BridgeMessageBody::of(none));
    for (const char* text : {"null", "[]", R"([{"action":"open"}])", R"("open")", "1", "true"}) {
        const auto other = body(text);
        EXPECT_FALSE(BridgeMessageBody::of(other)) << text;
    }
}

TEST(BridgeMessageBodyTest, KeySetTable) {
    struct Case {
        const char* body;
        std::initializer_list<std::string_view> keys;
        bool exact;
        bool among;
    };
    const Case cases[] = {
        {R"({"action":"get_snapshot"})", {"action"}, true, true},
        {R"({})", {}, true, true},
        {R"({})", {"action"}, false, true},
        {R"({"action":"set","key":"big_mode_enabled","value":false})", {"action", "key", "value"}, true, true},
        // A surplus key, a missing key.
        {R"({"action":"get_snapshot","key":"ui_language"})", {"action"}, false, false},
        {R"({"action":"set","key":"big_mode_enabled"})", {"action", "key", "value"}, false, true},
        // A key holding null is present: it refuses whether expected or not.
        {R"({"action":"set","key":"k","value":null})", {"action", "key", "value"}, false, false},
        {R"({"action":"open","section":null})", {"action", "section"}, false, false},
        {R"({"action":"get_snapshot","key":null})", {"action"}, false, false},
        // Keys compare byte for byte, with their lengths.
        {R"({"Action":"open"})", {"action"}, false, false},
        {R"({"action ":"open"})", {"action"}, false, false},
        {R"({"action\u0000":"open"})", {"action"}, false, false},
        {R"({"action\u0000x":"open","section":"general"})", {"action", "section"}, false, false},
        // The settings bridge's subset: "action" alone, or with a section.
        {R"({"action":"open"})", {"action", "section"}, false, true},
        {R"({"action":"open","section":"privacy"})", {"action", "section"}, true, true},
        {R"({"action":"open","extra":1})", {"action", "section"}, false, false},
    };
    for (const auto& c : cases) {
        const auto source = body(c.body);
        const auto read = BridgeMessageBody::of(source);
        ASSERT_TRUE(read) << c.body;
        EXPECT_EQ(read->hasExactKeys(c.keys), c.exact) << c.body;
        EXPECT_EQ(read->hasKeysAmong(c.keys), c.among) << c.body;
    }
    // An expected key holding U+0000 is not its shorter prefix either.
    const auto source = body(R"({"action":"open"})");
    EXPECT_FALSE(BridgeMessageBody::of(source)->hasExactKeys({"action\0"sv}));
    EXPECT_FALSE(BridgeMessageBody::of(source)->hasKeysAmong({"action\0"sv}));
}

TEST(BridgeMessageBodyTest, ValueKindTable) {
    struct Case {
        const char* body;
        std::optional<std::string> string;
        std::optional<bool> boolean;
        std::optional<double> number;
    };
    const Case cases[] = {
        {R"({"v":true})", std::nullopt, true, std::nullopt},
        {R"({"v":false})", std::nullopt, false, std::nullopt},
        // A boolean is never 0 or 1, a number never a boolean.
        {R"({"v":1})", std::nullopt, std::nullopt, 1.0},
        {R"({"v":0})", std::nullopt, std::nullopt, 0.0},
        {R"({"v":-2.5})", std::nullopt, std::nullopt, -2.5},
        {R"({"v":18446744073709551615})", std::nullopt, std::nullopt, 18446744073709551615.0},
        {R"({"v":"true"})", "true", std::nullopt, std::nullopt},
        {R"({"v":"1"})", "1", std::nullopt, std::nullopt},
        // Texts come whole: untrimmed, U+0000 kept.
        {R"({"v":" a\u0000b "})", " a\0b "s, std::nullopt, std::nullopt},
        {R"({"v":""})", "", std::nullopt, std::nullopt},
        {R"({"v":null})", std::nullopt, std::nullopt, std::nullopt},
        {R"({"v":[]})", std::nullopt, std::nullopt, std::nullopt},
        {R"({"v":{}})", std::nullopt, std::nullopt, std::nullopt},
        {R"({})", std::nullopt, std::nullopt, std::nullopt},
        {R"({"v\u0000":true})", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto source = body(c.body);
        const auto read = BridgeMessageBody::of(source);
        ASSERT_TRUE(read) << c.body;
        const auto text = read->string("v");
        EXPECT_EQ(text ? std::optional<std::string>(*text) : std::nullopt, c.string) << c.body;
        EXPECT_EQ(read->boolean("v"), c.boolean) << c.body;
        EXPECT_EQ(read->number("v"), c.number) << c.body;
    }
}

enum class Action { open, close };

TEST(BridgeMessageBodyTest, RawValuesMatchExactly) {
    constexpr std::array<BridgeRawValue<Action>, 2> actions{{{"open", Action::open}, {"close", Action::close}}};
    struct Case {
        const char* body;
        std::optional<Action> action;
    };
    const Case cases[] = {
        {R"({"action":"open"})", Action::open},  {R"({"action":"close"})", Action::close},
        {R"({"action":"Open"})", std::nullopt},  {R"({"action":" open"})", std::nullopt},
        {R"({"action":"open "})", std::nullopt}, {R"({"action":"open\u0000"})", std::nullopt},
        {R"({"action":"ope"})", std::nullopt},   {R"({"action":""})", std::nullopt},
        {R"({"action":1})", std::nullopt},       {R"({"action":["open"]})", std::nullopt},
        {R"({"action":null})", std::nullopt},    {R"({})", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto source = body(c.body);
        const auto read = BridgeMessageBody::of(source);
        ASSERT_TRUE(read) << c.body;
        EXPECT_EQ(read->rawValue<Action>("action", actions), c.action) << c.body;
    }
}

}  // namespace
}  // namespace murmo
