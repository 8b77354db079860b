#include <gtest/gtest.h>

#include "BridgeTestSupport.h"
#include "bridge/BoundedLineReader.h"

namespace murmo::bridge {
namespace {

using testing::StringInput;

struct ReadLine {
    std::string text;
    bool exceedsLimit;
    bool operator==(const ReadLine&) const = default;
};

void PrintTo(const ReadLine& line, std::ostream* out) { *out << (line.exceedsLimit ? "<too long>" : line.text); }

std::vector<ReadLine> readAll(const std::string& input, std::size_t limit, std::size_t pieceSize, std::size_t chunk) {
    StringInput source(input, pieceSize);
    BoundedLineReader reader(source, limit, chunk);
    std::vector<ReadLine> lines;
    while (auto line = reader.next()) lines.push_back({line->text, line->exceedsLimit});
    return lines;
}

TEST(BoundedLineReader, SplitsLinesWhateverThePiecesTheInputArrivesIn) {
    struct Case {
        std::string input;
        std::vector<ReadLine> lines;
    };
    const std::vector<Case> cases{
        {"", {}},
        {"\n", {{"", false}}},
        {"a\nb\n", {{"a", false}, {"b", false}}},
        {"a\r\nb", {{"a", false}, {"b", false}}},
        {"a\rb\n\r", {{"a\rb", false}, {"\r", false}}},
        {"\r\n\n", {{"", false}, {"", false}}},
        // Limit 4: four bytes fit, with or without a carriage return after.
        {"abcd\nabcd\r\nabcde\nx", {{"abcd", false}, {"abcd", false}, {"", true}, {"x", false}}},
        {"abcde\r\nok\n", {{"", true}, {"ok", false}}},
        {"abcd\r", {{"", true}}},
        {"abcdefghijklmnop", {{"", true}}},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{3}, SIZE_MAX}) {
            for (std::size_t chunk : {std::size_t{2}, std::size_t{64}}) {
                SCOPED_TRACE(::testing::Message() << "input " << ::testing::PrintToString(c.input) << " piece " << piece
                                                  << " chunk " << chunk);
                EXPECT_EQ(readAll(c.input, 4, piece, chunk), c.lines);
            }
        }
    }
}

TEST(BoundedLineReader, DiscardsTheRestOfAnOversizeLineAndReadsOn) {
    const std::string input = std::string(10'000'000, 'x') + "\nnext\n";
    StringInput source(input);
    BoundedLineReader reader(source, 262'144);
    auto first = reader.next();
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->exceedsLimit);
    // Memory stays near the limit, far below the line's length.
    EXPECT_LT(first->text.capacity(), 1'000'000u);
    auto second = reader.next();
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->text, "next");
    EXPECT_FALSE(reader.next().has_value());
}

}  // namespace
}  // namespace murmo::bridge
