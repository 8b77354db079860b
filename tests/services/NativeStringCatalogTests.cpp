#include "services/NativeStringCatalog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace murmo {
namespace {

using Language = NativeAppLanguage;
using Key = NativeStringKey;

std::vector<Key> allKeys() {
    std::vector<Key> keys;
    for (std::size_t index = 0; index < kNativeStringKeyCount; ++index) keys.push_back(static_cast<Key>(index));
    return keys;
}

TEST(NativeStringCatalogTests, EveryKeyHasEnglishAndTurkishTextAndItsOwnName) {
    for (auto key : allKeys()) {
        auto name = rawValue(key);
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(nativeStringKeyFromRawValue(name), key) << name;
        EXPECT_FALSE(NativeStringCatalog::value(key, Language::english).empty()) << name;
        EXPECT_FALSE(NativeStringCatalog::value(key, Language::turkish).empty()) << name;
    }
    EXPECT_EQ(rawValue(Key::hudListening), "hudListening");
    EXPECT_EQ(rawValue(Key::launchAtLoginUnavailable), "launchAtLoginUnavailable");
    EXPECT_EQ(nativeStringKeyFromRawValue("HudListening"), std::nullopt);
}

TEST(NativeStringCatalogTests, KeepsTypographicCharactersByteForByte) {
    NativeLocalizedStrings english(Language::english, {});
    EXPECT_EQ(english.settings(), "Settings\xE2\x80\xA6");                              // …
    EXPECT_EQ(english.hudCouldNotComplete().find("couldn\xE2\x80\x99t"), 7u);           // ’
    EXPECT_EQ(english.hudCopyInstruction(), "Copy it, then press \xE2\x8C\x98V to paste.");  // ⌘
    EXPECT_EQ(english.hudListening(), "Listening…");
    EXPECT_EQ(english.openMurmo(), "Open Dorvex");
    EXPECT_EQ(english.noEditableTarget(), "No editable text field was available.");

    NativeLocalizedStrings turkish(Language::turkish, {});
    EXPECT_EQ(turkish.openMurmo(), "Dorvex’yi Aç");
    EXPECT_EQ(turkish.checkMicrophonePermission(), "Mikrofon İznini Kontrol Et");
    EXPECT_EQ(turkish.hudCopiedDetail(), "⌘V ile hedef uygulamaya yapıştırın");
    EXPECT_EQ(turkish.selectionRequestRejected(), "Dorvex seçim isteği reddedildi.");
}

TEST(NativeStringCatalogTests, OnlyTurkishHasItsOwnTextsOthersFallBackToEnglish) {
    struct Case {
        Language preference;
        std::vector<std::string> preferred;
        Language expectedLanguage;
        std::string expectedText;
    };
    const Case cases[] = {
        {Language::turkish, {"en-US"}, Language::turkish, "Dinliyorum…"},
        {Language::english, {"tr-TR"}, Language::english, "Listening…"},
        {Language::german, {"tr-TR"}, Language::german, "Listening…"},
        {Language::arabic, {}, Language::arabic, "Listening…"},
        {Language::system, {"tr-TR"}, Language::turkish, "Dinliyorum…"},
        {Language::system, {"zh-Hant", "ja"}, Language::japanese, "Listening…"},
        {Language::system, {}, Language::english, "Listening…"},
    };
    for (const auto& [preference, preferred, expectedLanguage, expectedText] : cases) {
        NativeLocalizedStrings strings(preference, preferred);
        EXPECT_EQ(strings.language(), expectedLanguage) << rawValue(preference);
        EXPECT_EQ(strings.hudListening(), expectedText) << rawValue(preference);
    }
}

TEST(NativeStringCatalogTests, ResolvedLanguageIsNeverSystem) {
    EXPECT_NE(NativeLocalizedStrings(Language::system).language(), Language::system);
    EXPECT_NE(strings(Language::system).language(), Language::system);
    EXPECT_EQ(strings(Language::turkish).language(), Language::turkish);
}

TEST(NativeStringCatalogTests, ComposesExitNoticeAndErrorAnnouncement) {
    NativeLocalizedStrings english(Language::english, {});
    NativeLocalizedStrings turkish(Language::turkish, {});

    EXPECT_EQ(english.coreUnexpectedlyExited(9), "The Dorvex core unexpectedly quit (9)");
    EXPECT_EQ(english.coreUnexpectedlyExited(-15), "The Dorvex core unexpectedly quit (-15)");
    EXPECT_EQ(english.coreUnexpectedlyExited(std::numeric_limits<std::int32_t>::min()),
              "The Dorvex core unexpectedly quit (-2147483648)");
    EXPECT_EQ(turkish.coreUnexpectedlyExited(0), "Dorvex çekirdeği beklenmedik şekilde kapandı (0)");

    EXPECT_EQ(english.hudErrorAnnouncement(),
              "Dorvex error. Dorvex couldn’t complete this. Check settings and try again");
    EXPECT_EQ(turkish.hudErrorAnnouncement(),
              "Dorvex hatası. Dorvex tamamlayamadı. Ayarları kontrol edip tekrar deneyin");
}

}  // namespace
}  // namespace murmo
