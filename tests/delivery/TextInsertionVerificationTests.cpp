#include <gtest/gtest.h>

#include <string>

#include "delivery/TextInsertionVerification.h"

namespace murmo {
namespace {

using V = TextInsertionVerification;

TEST(TextInsertionVerificationTest, ExpectedValueCountsUTF16Units) {
    struct Case {
        std::string name;
        std::optional<std::string> original;
        AXTextRange range;
        std::string text;
        std::optional<std::string> expected;
    };
    const std::string huge(999'995, 'x');
    const std::vector<Case> cases{
        {"caret at the end", "hello", {5, 0}, " world", "hello world"},
        {"selection replaced", "hello world", {6, 5}, "there", "hello there"},
        // The emoji is two units: offset 3 lies after it.
        {"offsets after a surrogate pair", "a😀b", {3, 1}, "c", "a😀c"},
        {"range past the value", "hello", {4, 2}, "x", std::nullopt},
        {"location past the value", "hello", {6, 0}, "x", std::nullopt},
        {"negative location", "hello", {-1, 0}, "x", std::nullopt},
        {"negative length", "hello", {1, -1}, "x", std::nullopt},
        {"no original", std::nullopt, {0, 0}, "x", std::nullopt},
        {"result of exactly the limit", huge, {999'995, 0}, "12345", huge + "12345"},
        {"result over the limit", huge, {999'995, 0}, "123456", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(V::expectedValue(c.original, c.range, c.text), c.expected);
    }
    EXPECT_EQ(V::boundedValue(std::string(1'000'000, 'x'))->size(), 1'000'000u);
    EXPECT_FALSE(V::boundedValue(std::string(1'000'001, 'x')));
}

TEST(TextInsertionVerificationTest, ExpectedCaretRefusesNegativesAndOverflow) {
    EXPECT_EQ(V::expectedCaret({5, 3}, 2), (AXTextRange{7, 0}));
    EXPECT_FALSE(V::expectedCaret({-1, 0}, 2));
    EXPECT_FALSE(V::expectedCaret({0, -1}, 2));
    EXPECT_FALSE(V::expectedCaret({0, 0}, -2));
    EXPECT_FALSE(V::expectedCaret({INT64_MAX, 0}, 1));
}

TEST(TextInsertionVerificationTest, InsertionObservedFindsTheTextAmongRepeatedCharacters) {
    struct Case {
        std::string inserted, before, after;
        bool observed;
    };
    const std::vector<Case> cases{
        {"a", "aa", "aaa", true},   {"b", "ab", "abb", true}, {"lo", "hel", "hello", true},
        {"x", "ab", "axb", true},   {"😀", "ab", "a😀b", true}, {"x", "ab", "ab", false},  // nothing changed
        {"", "ab", "ab!", false},                                                        // nothing to look for
        {"xy", "ab", "axb", false},                                                      // one unit short
        {"x", "ab", "yab", false},                                                       // something else arrived
        {"x", "abc", "axc", false},  // replaced rather than inserted
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before + " -> " + c.after);
        EXPECT_EQ(V::insertionObserved(c.inserted, c.before, c.after), c.observed);
    }
}

TEST(TextInsertionVerificationTest, VerificationUsesTheValueWhenItCanAndTheCaretOtherwise) {
    struct Case {
        std::string name;
        std::optional<std::string> expected, before, after;
        std::optional<AXTextRange> original, current;
        std::int64_t count;
        bool verified;
    };
    const AXTextRange caret{5, 0};
    const std::vector<Case> cases{
        {"value as expected", "hello!", "hello", "hello!", caret, caret, 1, true},
        {"value already as expected before", "hello!", "hello!", "hello!", caret, AXTextRange{6, 0}, 1, false},
        {"value differs", "hello!", "hello", "hello?", caret, AXTextRange{6, 0}, 1, false},
        {"no value before", "hello!", std::nullopt, "hello!", caret, AXTextRange{6, 0}, 1, false},
        {"no expectation: insertion seen", std::nullopt, "hello", "hel!lo", std::nullopt, std::nullopt, 1, true},
        {"no expectation: nothing seen", std::nullopt, "hello", "hello", caret, AXTextRange{6, 0}, 1, false},
        {"values too long: caret moved by the text", std::nullopt, std::nullopt, std::nullopt, caret, AXTextRange{6, 0},
         1, true},
        {"values too long: caret did not move", std::nullopt, std::nullopt, std::nullopt, caret, caret, 1, false},
        {"values too long: caret moved elsewhere", std::nullopt, std::nullopt, std::nullopt, caret, AXTextRange{0, 0},
         1, false},
        {"caret overflow", std::nullopt, std::nullopt, std::nullopt, AXTextRange{INT64_MAX, 0},
         AXTextRange{INT64_MAX, 0}, 1, false},
        {"no ranges", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(V::isVerifiedInsertion(c.expected, c.before, c.after, c.original, c.current, c.count, "!"),
                  c.verified);
    }
}

}  // namespace
}  // namespace murmo
