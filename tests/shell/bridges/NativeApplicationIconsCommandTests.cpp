#include "shell/bridges/NativeApplicationIconsCommand.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace murmo {
namespace {

using Command = NativeApplicationIconsCommand;

std::optional<Command> parse(const std::string& text) { return Command::fromBody(json::parse(text).value()); }

// {"bundle_ids": ["<identifier>"], "size": 64}, the identifier escaped as JSON.
std::string bodyWith(const std::string& identifier) {
    return json::Json{{"bundle_ids", json::Json::array({identifier})}, {"size", 64}}.dump();
}

std::string bodyWithCount(int count) {
    auto identifiers = json::Json::array();
    for (int i = 0; i < count; ++i) identifiers.push_back("com.example.app" + std::to_string(i));
    return json::Json{{"bundle_ids", identifiers}, {"size", 32}}.dump();
}

TEST(NativeApplicationIconsCommandTest, BodiesOutsideTheRulesGiveNoCommand) {
    const struct {
        const char* why;
        std::string body;
    } rows[] = {
        {"not an object", R"([["com.example.a"],64])"},
        {"no size", R"({"bundle_ids":["com.example.a"]})"},
        {"no identifiers", R"({"size":64})"},
        {"surplus key", R"({"bundle_ids":["com.example.a"],"size":64,"scale":2})"},
        {"null surplus key", R"({"bundle_ids":["com.example.a"],"size":64,"scale":null})"},
        {"null size", R"({"bundle_ids":["com.example.a"],"size":null})"},
        {"identifiers not an array", R"({"bundle_ids":"com.example.a","size":64})"},
        {"an identifier not a string", R"({"bundle_ids":["com.example.a",7],"size":64})"},
        {"a null identifier", R"({"bundle_ids":[null],"size":64})"},
        {"empty list", R"({"bundle_ids":[],"size":64})"},
        {"65 identifiers", bodyWithCount(65)},
        {"a duplicate", R"({"bundle_ids":["com.example.a","com.example.b","com.example.a"],"size":64})"},
        {"size 48", R"({"bundle_ids":["com.example.a"],"size":48})"},
        {"size 32.5", R"({"bundle_ids":["com.example.a"],"size":32.5})"},
        {"size 0", R"({"bundle_ids":["com.example.a"],"size":0})"},
        {"size -64", R"({"bundle_ids":["com.example.a"],"size":-64})"},
        {"size true", R"({"bundle_ids":["com.example.a"],"size":true})"},
        {"size as text", R"({"bundle_ids":["com.example.a"],"size":"64"})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(parse(row.body), std::nullopt);
    }
    EXPECT_EQ(Command::fromBody(std::nullopt), std::nullopt);
}

TEST(NativeApplicationIconsCommandTest, OneMalformedIdentifierRefusesTheWholeRequest) {
    const struct {
        const char* why;
        std::string identifier;
    } rows[] = {
        {"empty", ""},
        {"two dots in a row", "com..example"},
        {"leading dot", ".com.example"},
        {"trailing dot", "com.example."},
        {"only a dot", "."},
        {"piece begins with a hyphen", "com.-example"},
        {"piece ends with a hyphen", "com.example-"},
        {"only a hyphen", "-"},
        {"underscore", "com.example.my_app"},
        {"space", "com.example.my app"},
        {"non-ASCII letter", "com.exämple.app"},
        {"non-ASCII digit", "com.example.app\xD9\xA3"},
        {"U+0000", std::string("com.example\0x", 13)},
        {"256 bytes", "a." + std::string(252, 'b') + ".c"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        EXPECT_FALSE(Command::isValidBundleIdentifier(row.identifier));
        EXPECT_EQ(parse(bodyWith(row.identifier)), std::nullopt);
        const auto beside =
            json::Json{{"bundle_ids", json::Json::array({"com.example.good", row.identifier})}, {"size", 32}};
        EXPECT_EQ(Command::fromBody(beside), std::nullopt) << "a valid identifier beside it does not save the request";
    }
}

TEST(NativeApplicationIconsCommandTest, WellFormedRequestsKeepTheirOrderAndSize) {
    const struct {
        std::string body;
        Command expected;
    } rows[] = {
        {R"({"bundle_ids":["com.example.My-App2","org.x9.a-b-c"],"size":64})",
         {.bundleIdentifiers = {"com.example.My-App2", "org.x9.a-b-c"}, .size = 64}},
        {R"({"size":32,"bundle_ids":["Z"]})", {.bundleIdentifiers = {"Z"}, .size = 32}},
        {R"({"bundle_ids":["a1.2b.C-3-d"],"size":64.0})", {.bundleIdentifiers = {"a1.2b.C-3-d"}, .size = 64}},
        {R"({"bundle_ids":["com.example.a","com.example.A"],"size":32})",
         {.bundleIdentifiers = {"com.example.a", "com.example.A"}, .size = 32}},
        {bodyWith("a." + std::string(251, 'b') + ".c"),
         {.bundleIdentifiers = {"a." + std::string(251, 'b') + ".c"}, .size = 64}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.body);
        EXPECT_EQ(parse(row.body), row.expected);
    }
    const auto largest = parse(bodyWithCount(static_cast<int>(Command::maximumBatchSize)));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->bundleIdentifiers.size(), 64u);
    EXPECT_EQ(largest->bundleIdentifiers.back(), "com.example.app63");
}

}  // namespace
}  // namespace murmo
