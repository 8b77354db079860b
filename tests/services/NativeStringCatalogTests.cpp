#include "services/NativeStringCatalog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
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

TEST(NativeStringCatalogTests, EveryKeyIsFoundByItsOwnName) {
    for (auto key : allKeys()) {
        auto name = rawValue(key);
        EXPECT_EQ(nativeStringKeyFromRawValue(name), key) << name;
    }
    EXPECT_EQ(rawValue(Key::hudListening), "hudListening");
    EXPECT_EQ(rawValue(Key::launchAtLoginUnavailable), "launchAtLoginUnavailable");
    EXPECT_EQ(nativeStringKeyFromRawValue("HudListening"), std::nullopt);
}

// Texts as the user sees them, byte for byte: typographic apostrophes (’),
// the ellipsis (…), the command sign (⌘) and Turkish letters included.
TEST(NativeStringCatalogTests, PinsEnglishAndTurkishTextsByteForByte) {
    struct Row {
        Key key;
        std::string_view english;
        std::string_view turkish;
    };
    const Row rows[] = {
        {Key::openMurmo, "Open Dorvex", "Dorvex’yi Aç"},
        {Key::settings, "Settings…", "Ayarlar…"},
        {Key::quitMurmo, "Quit Dorvex Completely", "Dorvex’den Tamamen Çık"},
        {Key::checkMicrophonePermission, "Check Microphone Permission", "Mikrofon İznini Kontrol Et"},
        {Key::coreOffline, "Core offline", "Çekirdek çevrimdışı"},
        {Key::holdShortcut, "hold", "basılı tut"},
        {Key::coreLoading, "Starting the Dorvex core…", "Dorvex çekirdeği başlatılıyor…"},
        {Key::cancel, "Cancel", "Vazgeç"},
        {Key::hudListening, "Listening…", "Dinliyorum…"},
        {Key::hudProcessing, "Processing…", "İşleniyor…"},
        {Key::hudCouldNotComplete, "Dorvex couldn’t complete this", "Dorvex tamamlayamadı"},
        {Key::hudCopyInstruction, "Copy it, then press ⌘V to paste.", "Kopyalayın, sonra ⌘V ile yapıştırın."},
        {Key::hudCopiedDetail, "Press ⌘V to paste into the target app", "⌘V ile hedef uygulamaya yapıştırın"},
        {Key::hudUnverifiedAnnouncement,
         "Dorvex couldn’t confirm insertion. Check the target before using the copy option.",
         "Dorvex metnin yazıldığını doğrulayamadı. Kopyalama seçeneğini kullanmadan önce hedefi kontrol edin."},
        {Key::hudCopyFailureAnnouncement, "The text couldn’t be copied. The copy option is still ready.",
         "Metin panoya kopyalanamadı. Kopyalama seçeneği hâlâ hazır."},
        {Key::hudErrorPrefix, "Dorvex error", "Dorvex hatası"},
        {Key::dictationTimedOut, "The dictation didn’t finish in time and was safely cancelled.",
         "Dikte zamanında tamamlanamadı; işlem güvenli biçimde iptal edildi."},
        {Key::shortcutInputMonitoringRequired,
         "Input Monitoring permission is required to listen for the Fn/Globe shortcut in other apps. Open macOS "
         "Permissions in Dorvex Settings.",
         "Fn/Globe kısayolunu diğer uygulamalarda dinlemek için Klavye İzleme izni gerekli. Dorvex Ayarları’ndaki "
         "macOS İzinleri bölümünü açın."},
        {Key::coreUnexpectedlyExited, "The Dorvex core unexpectedly quit",
         "Dorvex çekirdeği beklenmedik şekilde kapandı"},
        {Key::agentSearchNotConfigured, "Web search isn’t configured yet.", "Web araması henüz yapılandırılmadı."},
        {Key::agentRemoteUnavailable, "The requested remote Agent isn’t connected.", "İstenen uzak Agent bağlı değil."},
        {Key::dictationCancelPending, "Dorvex is still trying to cancel this dictation",
         "Dorvex hâlâ bu dikteyi iptal etmeye çalışıyor"},
        {Key::voiceProcessingFormatUnsupported, "The Mac microphone did not provide a supported float32 audio format.",
         "Mac mikrofonu desteklenen float32 ses biçimini sağlamadı."},
        {Key::selectionRequestRejected, "The Dorvex selection request was rejected.",
         "Dorvex seçim isteği reddedildi."},
        {Key::launchAtLoginUnavailable, "Launch at login is unavailable for this Dorvex build.",
         "Girişte başlatma bu Dorvex yapısında kullanılamıyor."},
    };
    for (const auto& [key, english, turkish] : rows) {
        EXPECT_EQ(NativeStringCatalog::value(key, Language::english), english) << rawValue(key);
        EXPECT_EQ(NativeStringCatalog::value(key, Language::turkish), turkish) << rawValue(key);
    }

    // The same marks spelled as bytes, in case this file's own encoding drifts.
    NativeLocalizedStrings english(Language::english, {});
    EXPECT_EQ(english.settings(), "Settings\xE2\x80\xA6");
    EXPECT_EQ(english.hudCouldNotComplete(), "Dorvex couldn\xE2\x80\x99t complete this");
    EXPECT_EQ(english.hudCopyInstruction(), "Copy it, then press \xE2\x8C\x98V to paste.");
    NativeLocalizedStrings turkish(Language::turkish, {});
    EXPECT_EQ(turkish.openMurmo(), "Dorvex\xE2\x80\x99yi A\xC3\xA7");
    EXPECT_EQ(turkish.hudProcessing(), "\xC4\xB0\xC5\x9Fleniyor\xE2\x80\xA6");
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
