#include "services/NativeAppLanguage.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace murmo {
namespace {

using Language = NativeAppLanguage;

TEST(NativeAppLanguageTests, RawValuesRoundTripAndAreCaseSensitive) {
    ASSERT_EQ(allNativeAppLanguages().size(), 30u);
    for (auto language : allNativeAppLanguages()) {
        EXPECT_EQ(nativeAppLanguageFromRawValue(rawValue(language)), language) << rawValue(language);
        EXPECT_TRUE(registeredNativeAppLanguageIdentifiers().contains(rawValue(language)));
    }
    EXPECT_EQ(registeredNativeAppLanguageIdentifiers().size(), 30u);
    EXPECT_EQ(rawValue(Language::portugueseBrazil), "pt-BR");
    EXPECT_EQ(rawValue(Language::chineseSimplified), "zh-Hans");
    for (std::string_view invalid : {"", "TR", "pt-br", "pt_BR", "zh-hans", " en", "english", "no"}) {
        EXPECT_EQ(nativeAppLanguageFromRawValue(invalid), std::nullopt) << invalid;
    }
    EXPECT_EQ(nativeAppLanguageFromRegisteredIdentifier("system"), Language::system);
}

TEST(NativeAppLanguageTests, SupportedLanguagesExcludeOnlySystem) {
    auto supported = supportedInterfaceLanguages();
    ASSERT_EQ(supported.size(), 29u);
    EXPECT_EQ(supported.front(), Language::turkish);
    EXPECT_EQ(supported.back(), Language::estonian);
    for (auto language : supported) EXPECT_FALSE(isSystemPreference(language));
    EXPECT_TRUE(isSystemPreference(Language::system));
}

TEST(NativeAppLanguageTests, OnlyArabicIsRightToLeft) {
    for (auto language : allNativeAppLanguages()) {
        auto expected = language == Language::arabic ? "rtl" : "ltr";
        EXPECT_EQ(rawValue(direction(language)), expected) << rawValue(language);
    }
    EXPECT_EQ(nativeLanguageDirectionFromRawValue("rtl"), NativeLanguageDirection::rightToLeft);
    EXPECT_EQ(nativeLanguageDirectionFromRawValue("RTL"), std::nullopt);
}

TEST(NativeAppLanguageTests, MatchesPreferredIdentifiers) {
    struct Case {
        std::string_view identifier;
        std::optional<Language> expected;
    };
    const Case cases[] = {
        // Exact raw values, in any case and with either separator.
        {"pt_PT", Language::portuguesePortugal},
        {"PT-pt", Language::portuguesePortugal},
        {"pt-BR", Language::portugueseBrazil},
        {"zh-Hans", Language::chineseSimplified},
        {"TR", Language::turkish},
        // Portuguese: Portugal only when a later subtag says so.
        {"pt", Language::portugueseBrazil},
        {"pt-AO", Language::portugueseBrazil},
        {"pt-BR-x", Language::portugueseBrazil},
        {"pt-Latn-PT", Language::portuguesePortugal},
        // Chinese: simplified only when marked; traditional never matches.
        {"zh-SG", Language::chineseSimplified},
        {"zh_CN", Language::chineseSimplified},
        {"zh-Hans-CN", Language::chineseSimplified},
        {"zh", std::nullopt},
        {"zh-Hant-TW", std::nullopt},
        {"zh-Hans-HK", std::nullopt},
        {"zh-MO", std::nullopt},
        // Base codes.
        {"en-GB", Language::english},
        {"de-AT", Language::german},
        {"no-NO", Language::norwegianBokmal},
        {"nb", Language::norwegianBokmal},
        {"ar-EG", Language::arabic},
        {"fr_CA", Language::french},
        // Nothing to match.
        {"", std::nullopt},
        {"-", std::nullopt},
        {"--en", Language::english},
        {"iw-IL", std::nullopt},
        {"sr-Latn", std::nullopt},
        {"system", std::nullopt},
        {"english", std::nullopt},
    };
    for (const auto& [identifier, expected] : cases) {
        EXPECT_EQ(matchSystemLanguage(identifier), expected) << '"' << identifier << '"';
    }
}

TEST(NativeAppLanguageTests, ResolvesAgainstPreferredList) {
    struct Case {
        Language preference;
        std::vector<std::string> preferred;
        Language expected;
    };
    const Case cases[] = {
        // An explicit choice wins over any list.
        {Language::german, {"tr-TR"}, Language::german},
        {Language::turkish, {}, Language::turkish},
        // The first identifier that matches wins; unmatched ones are skipped.
        {Language::system, {"fr-CA", "en-US"}, Language::french},
        {Language::system, {"zh-Hant-TW", "ja-JP"}, Language::japanese},
        {Language::system, {"iw-IL", "sr-Latn", "", "de"}, Language::german},
        // Nothing matches: English.
        {Language::system, {"zh"}, Language::english},
        {Language::system, {"iw-IL"}, Language::english},
        {Language::system, {}, Language::english},
    };
    for (const auto& [preference, preferred, expected] : cases) {
        auto result = resolved(preference, preferred);
        EXPECT_EQ(result, expected) << rawValue(preference) << " with " << preferred.size() << " entries";
        EXPECT_NE(result, Language::system);
    }
}

TEST(NativeAppLanguageTests, ReadsPreferredLanguagesFromLocaleEnvironment) {
    struct Case {
        EnvironmentMap environment;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{{"LANG", "pt_PT.UTF-8"}}, {"pt-PT"}},
        {{{"LANG", "sr_RS@latin"}}, {"sr-RS"}},
        {{{"LANG", "de_DE.ISO-8859-15@euro"}}, {"de-DE"}},
        // LANGUAGE first, in its own order, then LC_ALL, LC_MESSAGES, LANG.
        {{{"LANGUAGE", "fr_CA:de::"},
          {"LC_ALL", "ja_JP.UTF-8"},
          {"LC_MESSAGES", "ko_KR.UTF-8"},
          {"LANG", "tr_TR.UTF-8"},
          {"LC_CTYPE", "ru_RU.UTF-8"}},
         {"fr-CA", "de", "ja-JP", "ko-KR", "tr-TR"}},
        // The portable locales and empty values name no language.
        {{{"LANGUAGE", ""}, {"LC_ALL", "C"}, {"LC_MESSAGES", "POSIX"}, {"LANG", "C.UTF-8"}}, {}},
    };
    for (const auto& [environment, expected] : cases) {
        EXPECT_EQ(systemPreferredLanguages(environment), expected);
    }
}

TEST(NativeAppLanguageTests, ResolvesSystemFromLocaleEnvironment) {
    struct Case {
        EnvironmentMap environment;
        Language expected;
    };
    const Case cases[] = {
        {{{"LANG", "pt_PT.UTF-8"}}, Language::portuguesePortugal},
        {{{"LANG", "zh_CN.UTF-8"}}, Language::chineseSimplified},
        {{{"LANG", "zh_TW.UTF-8"}}, Language::english},
        {{{"LANGUAGE", "zh_TW:tr"}, {"LANG", "zh_TW.UTF-8"}}, Language::turkish},
        {{{"LC_ALL", "C.UTF-8"}, {"LANG", "ar_EG.UTF-8"}}, Language::arabic},
        {{{"LANG", "C"}}, Language::english},
    };
    for (const auto& [environment, expected] : cases) {
        EXPECT_EQ(resolved(Language::system, systemPreferredLanguages(environment)), expected);
    }
}

}  // namespace
}  // namespace murmo
