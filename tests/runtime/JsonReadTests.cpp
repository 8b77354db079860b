#include "runtime/JsonRead.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace murmo {
namespace {

using json::Json;

TEST(JsonReadTest, Uint16FieldTable) {
    struct Case {
        const char* body;
        std::optional<std::optional<std::uint16_t>> expected;  // outer empty: error
    };
    const Case cases[] = {
        {R"({})", std::optional<std::uint16_t>{}},
        {R"({"port":null})", std::optional<std::uint16_t>{}},
        {R"({"port":8765})", std::optional<std::uint16_t>{8765}},
        {R"({"port":65535})", std::optional<std::uint16_t>{65535}},
        {R"({"port":8765.0})", std::optional<std::uint16_t>{8765}},
        {R"({"port":65585})", std::nullopt},  // never wrapped into 49
        {R"({"port":-1})", std::nullopt},
        {R"({"port":1.5})", std::nullopt},
        {R"({"port":1e300})", std::nullopt},
        {R"({"port":-1e300})", std::nullopt},
        {R"({"port":18446744073709551615})", std::nullopt},
        {R"({"port":true})", std::nullopt},  // bool is never a number
        {R"({"port":"8765"})", std::nullopt},
    };
    for (const auto& c : cases) {
        auto object = json::parseObject(c.body);
        ASSERT_TRUE(object) << c.body;
        auto value = json::optionalInteger<std::uint16_t>(*object, "port");
        if (c.expected) {
            ASSERT_TRUE(value) << c.body << ": " << value.error().message;
            EXPECT_EQ(*value, *c.expected) << c.body;
        } else {
            EXPECT_FALSE(value) << c.body;
        }
    }
}

TEST(JsonReadTest, TypedReadersRejectWrongTypesAndTreatNullAsAbsent) {
    auto object = *json::parseObject(R"({"s":"x","b":false,"n":2,"o":{},"a":[],"z":null})");
    EXPECT_EQ(json::requiredString(object, "s").value(), "x");
    EXPECT_EQ(json::requiredBool(object, "b").value(), false);
    EXPECT_EQ(json::requiredDouble(object, "n").value(), 2.0);
    EXPECT_TRUE(json::requiredObject(object, "o"));
    EXPECT_TRUE(json::requiredArray(object, "a"));

    EXPECT_EQ(json::optionalString(object, "z").value(), std::nullopt);
    EXPECT_EQ(json::requiredString(object, "z").error().code, static_cast<long>(json::JsonErrorCode::missingKey));
    EXPECT_EQ(json::optionalString(object, "n").error().code, static_cast<long>(json::JsonErrorCode::typeMismatch));
    EXPECT_FALSE(json::optionalDouble(object, "b")) << "bool is never a number";
    EXPECT_FALSE(json::optionalBool(object, "n")) << "a number is never a bool";
    EXPECT_FALSE(json::optionalObject(object, "a"));
    EXPECT_FALSE(json::optionalString(Json::array(), "s")) << "not an object";
}

TEST(JsonReadTest, ParseAndDumpNeverThrowOrAlterText) {
    EXPECT_FALSE(json::parse("{\"a\":"));
    EXPECT_FALSE(json::parseObject("[1]"));
    EXPECT_FALSE(json::parse("{\"a\":\"\xFF\"}")) << "invalid UTF-8 in input";
    EXPECT_EQ(json::dump(Json{{"a", "\xC3\xA9"}}).value(), "{\"a\":\"\xC3\xA9\"}");
    EXPECT_FALSE(json::dump(Json{{"a", "\xFF"}})) << "invalid UTF-8 must not be silently replaced";
    EXPECT_FALSE(json::dump(Json{{"a", {1.0, std::nan("")}}})) << "NaN must not become null";
    EXPECT_FALSE(json::dump(Json{{"a", {{"b", HUGE_VAL}}}})) << "infinity must not become null";
}

TEST(JsonReadTest, ATextHoldingANulByteIsNotJSONWhereverTheNulSits) {
    using namespace std::string_view_literals;
    for (auto text : {"{\"a\":1}\0garbage"sv, "\0{}"sv, "{\"a\":\"x\0y\"}"sv, "{\"a\":1}\0"sv}) {
        const std::string printable = Json(std::string(text)).dump();
        EXPECT_FALSE(json::parse(text)) << printable;
        EXPECT_FALSE(json::parseObject(text)) << printable;
    }
}

TEST(JsonReadTest, ParseBuildsTheSameValueAsTheLibrary) {
    for (const char* text : {
             R"({"a":[1,-2,3.5,18446744073709551615,"x\u00e9\n",true,false,null],"b":{"c":{},"d":[[],[{}]]},"a2":1})",
             R"({"k":1,"k":2})",
             R"([[1,{"x":[2]}],3])",
             R"("text")",
             "0",
         }) {
        auto parsed = json::parse(text, json::kMaximumNesting);
        ASSERT_TRUE(parsed) << text;
        EXPECT_EQ(*parsed, Json::parse(text)) << text;
    }
}

TEST(JsonReadTest, ParseRefusesNestingBeyondTheBoundWithoutRecursing) {
    const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_TRUE(json::parse(nested(json::kMaximumNesting), json::kMaximumNesting));
    for (std::size_t depth : {json::kMaximumNesting + 1, std::size_t{100'000}}) {
        auto parsed = json::parse(nested(depth), json::kMaximumNesting);
        ASSERT_FALSE(parsed) << depth;
        EXPECT_EQ(parsed.error().code, static_cast<long>(json::JsonErrorCode::tooDeep)) << depth;
        EXPECT_FALSE(json::parseObject("{\"a\":" + nested(depth) + "}")) << "bounded by default";
    }
    EXPECT_EQ(json::parse("[[", json::kMaximumNesting).error().code,
              static_cast<long>(json::JsonErrorCode::invalidJSON));
}

TEST(JsonReadTest, NestedReadersReturnTheValueInPlace) {
    auto object = *json::parseObject(R"({"o":{"x":1},"a":[2]})");
    EXPECT_EQ(*json::requiredObject(object, "o"), &object["o"]) << "never a copy";
    EXPECT_EQ(*json::requiredArray(object, "a"), &object["a"]);
    EXPECT_EQ(*json::optionalObject(object, "none"), nullptr);
    EXPECT_EQ(json::requiredObject(object, "none").error().code, static_cast<long>(json::JsonErrorCode::missingKey));
}

TEST(JsonReadTest, RequiredIntegerReportsMissingAndRange) {
    auto object = *json::parseObject(R"({"code":300})");
    EXPECT_EQ(json::requiredInteger<int>(object, "code").value(), 300);
    EXPECT_FALSE(json::requiredInteger<std::int8_t>(object, "code"));
    EXPECT_FALSE(json::requiredInteger<int>(object, "other"));
}

}  // namespace
}  // namespace murmo
