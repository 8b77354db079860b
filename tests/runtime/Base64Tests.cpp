#include "runtime/Base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace murmo {
namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Base64Test, EncodesTheStandardVectorsWithPadding) {
    const struct {
        const char* bytes;
        const char* text;
    } rows[] = {{"", ""},
                {"f", "Zg=="},
                {"fo", "Zm8="},
                {"foo", "Zm9v"},
                {"foob", "Zm9vYg=="},
                {"fooba", "Zm9vYmE="},
                {"foobar", "Zm9vYmFy"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(encodeBase64(bytesOf(row.bytes)), row.text);
        EXPECT_EQ(decodeStrictBase64(row.text), bytesOf(row.bytes));
    }
    EXPECT_EQ(encodeBase64(std::vector<std::uint8_t>{0xFB, 0xFF, 0x00}), "+/8A") << "the standard alphabet";
}

TEST(Base64Test, LongInputStaysOnOneLineAndRoundTrips) {
    // Longer than one encoding step, and not a multiple of three.
    std::vector<std::uint8_t> bytes(3 * (1 << 20) + 100);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    const auto text = encodeBase64(bytes);
    EXPECT_EQ(text.size(), (bytes.size() + 2) / 3 * 4);
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(decodeStrictBase64(text), bytes);
}

}  // namespace
}  // namespace murmo
