#include "runtime/Unicode.h"

#include <gtest/gtest.h>

namespace murmo {
namespace {

using namespace unicode;

TEST(UnicodeTest, GraphemeCounts) {
    struct Case {
        const char* text;
        std::size_t graphemes;
        std::size_t utf16;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"abc", 3, 3},
        {"e\xCC\x81", 1, 2},  // e + combining acute
        {"a\xCC\x81\xCC\xA7"
         "b",
         2, 4},  // two combining marks on one base
        {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1, 8},  // family ZWJ sequence
        {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 1, 4},                                          // thumbs up + skin tone
        {"\xF0\x9F\x87\xB9\xF0\x9F\x87\xB7", 1, 4},                                          // flag
    };
    for (const auto& c : cases) {
        EXPECT_EQ(graphemeCount(c.text), c.graphemes) << c.text;
        EXPECT_EQ(utf16Length(c.text), c.utf16) << c.text;
    }
}

TEST(UnicodeTest, InvalidUTF8IsRejectedNotRepaired) {
    for (const char* bad : {"\xFF", "a\xC3", "\xED\xA0\x80", "\xC0\xAF"}) {
        EXPECT_FALSE(isValidUTF8(bad)) << bad;
        EXPECT_FALSE(graphemeCount(bad));
        EXPECT_FALSE(toUTF16(bad));
        EXPECT_FALSE(nfc(bad));
        EXPECT_FALSE(lowercased(bad));
    }
    EXPECT_FALSE(fromUTF16(std::u16string(1, char16_t(0xD800)))) << "unpaired surrogate";
}

TEST(UnicodeTest, UTF16RoundTripAndNFC) {
    const std::string text = "I\xCC\x87stanbul \xF0\x9F\x98\x80";
    auto utf16 = toUTF16(text);
    ASSERT_TRUE(utf16);
    EXPECT_EQ(fromUTF16(*utf16), text);
    EXPECT_EQ(nfc("e\xCC\x81"), "\xC3\xA9");
}

TEST(UnicodeTest, LowerCasingIsFullAndTheSameUnderEveryLocale) {
    EXPECT_EQ(lowercased("AGENT_Output_INVALID"), "agent_output_invalid");
    EXPECT_EQ(lowercased("\xC4\xB0I"), "i\xCC\x87i") << "İ keeps its dot as a combining mark; I is i, not ı";
    EXPECT_EQ(lowercased("\xC3\x9C\xC3\x87\xE1\xBA\x9E"), "\xC3\xBC\xC3\xA7\xC3\x9F");
    EXPECT_EQ(lowercased(""), "");
}

TEST(UnicodeTest, TrimmingUsesUnicodeWhitespace) {
    const std::string nbsp = "\xC2\xA0", ideographic = "\xE3\x80\x80", lineSeparator = "\xE2\x80\xA8";
    EXPECT_EQ(trimWhitespaceAndNewlines(nbsp + " \t\nhello world\r\n" + ideographic + lineSeparator), "hello world");
    EXPECT_EQ(trimWhitespace(nbsp + "\thello\n" + ideographic), "hello\n");
    EXPECT_EQ(trimWhitespaceAndNewlines("\xE2\x80\x8B"
                                        "x"),
              "\xE2\x80\x8B"
              "x")
        << "zero width space is not White_Space";
    EXPECT_EQ(trimWhitespaceAndNewlines("   "), "");
}

TEST(UnicodeTest, GeneralCategories) {
    EXPECT_TRUE(isLetter(U'\u011F'));
    EXPECT_FALSE(isLetter(U'1'));
    EXPECT_TRUE(isControl(U'\u0007'));
    EXPECT_TRUE(isFormat(U'\u200B'));
    EXPECT_TRUE(isOtherCategory(U'\uE000'));
    EXPECT_FALSE(isOtherCategory(U'a'));
}

}  // namespace
}  // namespace murmo
