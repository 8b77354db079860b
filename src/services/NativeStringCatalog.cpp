#include "services/NativeStringCatalog.h"

#include <array>

#include <fmt/format.h>

namespace murmo {
namespace {

struct CatalogRow {
    NativeStringKey key;
    std::string_view name;
    std::string_view english;
    std::string_view turkish;
};

// The texts are used byte for byte: typographic apostrophes (’), the ellipsis
// character (…) and the command sign (⌘) are part of them.
constexpr std::array<CatalogRow, kNativeStringKeyCount> kRows{{
    {NativeStringKey::openMurmo, "openMurmo",
     "Open Dorvex",
     "Dorvex’yi Aç"},
    {NativeStringKey::settings, "settings",
     "Settings…",
     "Ayarlar…"},
    {NativeStringKey::view, "view",
     "View",
     "Görünüm"},
    {NativeStringKey::quitMurmo, "quitMurmo",
     "Quit Dorvex Completely",
     "Dorvex’den Tamamen Çık"},
    {NativeStringKey::checkMicrophonePermission, "checkMicrophonePermission",
     "Check Microphone Permission",
     "Mikrofon İznini Kontrol Et"},
    {NativeStringKey::checkAccessibilityPermission, "checkAccessibilityPermission",
     "Check Accessibility Permission",
     "Erişilebilirlik İznini Kontrol Et"},
    {NativeStringKey::checkInputMonitoringPermission, "checkInputMonitoringPermission",
     "Check Input Monitoring Permission",
     "Klavye İzleme İznini Kontrol Et"},
    {NativeStringKey::coreConnected, "coreConnected",
     "Core connected",
     "Çekirdek bağlı"},
    {NativeStringKey::coreOffline, "coreOffline",
     "Core offline",
     "Çekirdek çevrimdışı"},
    {NativeStringKey::resumeDictation, "resumeDictation",
     "Resume Dictation",
     "Dikteyi Sürdür"},
    {NativeStringKey::pauseDictation, "pauseDictation",
     "Pause Dictation",
     "Dikteyi Duraklat"},
    {NativeStringKey::shortcut, "shortcut",
     "Shortcut",
     "Kısayol"},
    {NativeStringKey::holdShortcut, "holdShortcut",
     "hold",
     "basılı tut"},
    {NativeStringKey::disabled, "disabled",
     "disabled",
     "devre dışı"},
    {NativeStringKey::launchAtLogin, "launchAtLogin",
     "Launch at Login",
     "Girişte Başlat"},
    {NativeStringKey::awaitingApproval, "awaitingApproval",
     "Awaiting approval",
     "Onay bekliyor"},
    {NativeStringKey::unavailable, "unavailable",
     "Unavailable",
     "Kullanılamıyor"},
    {NativeStringKey::hideNavigation, "hideNavigation",
     "Hide Navigation",
     "Navigasyonu Gizle"},
    {NativeStringKey::showNavigation, "showNavigation",
     "Show Navigation",
     "Navigasyonu Göster"},
    {NativeStringKey::localProfile, "localProfile",
     "Local Profile",
     "Yerel Profil"},
    {NativeStringKey::changeTheme, "changeTheme",
     "Change Theme",
     "Temayı Değiştir"},
    {NativeStringKey::bigMode, "bigMode",
     "Big Mode",
     "Büyük Mod"},
    {NativeStringKey::useBigMode, "useBigMode",
     "Use Big Mode",
     "Büyük Modu Kullan"},
    {NativeStringKey::useCompactMode, "useCompactMode",
     "Use Compact Mode",
     "Kompakt Modu Kullan"},
    {NativeStringKey::launchAtLoginChangeFailed, "launchAtLoginChangeFailed",
     "Launch at Login could not be changed",
     "Girişte başlatma ayarı değiştirilemedi"},
    {NativeStringKey::mainWindowTitle, "mainWindowTitle",
     "Dorvex",
     "Dorvex"},
    {NativeStringKey::settingsWindowTitle, "settingsWindowTitle",
     "Dorvex Settings",
     "Dorvex Ayarları"},
    {NativeStringKey::coreLoading, "coreLoading",
     "Starting the Dorvex core…",
     "Dorvex çekirdeği başlatılıyor…"},
    {NativeStringKey::settingsLoading, "settingsLoading",
     "Loading Dorvex settings…",
     "Dorvex ayarları yükleniyor…"},
    {NativeStringKey::confirm, "confirm",
     "Confirm",
     "Onayla"},
    {NativeStringKey::cancel, "cancel",
     "Cancel",
     "Vazgeç"},
    {NativeStringKey::hudReady, "hudReady",
     "Dorvex is ready",
     "Dorvex hazır"},
    {NativeStringKey::hudBooting, "hudBooting",
     "Dorvex is starting…",
     "Dorvex hazırlanıyor…"},
    {NativeStringKey::hudPaused, "hudPaused",
     "Dictation paused",
     "Dikte duraklatıldı"},
    {NativeStringKey::hudOffline, "hudOffline",
     "Dorvex is offline",
     "Dorvex çevrimdışı"},
    {NativeStringKey::hudListening, "hudListening",
     "Listening…",
     "Dinliyorum…"},
    {NativeStringKey::hudProcessing, "hudProcessing",
     "Processing…",
     "İşleniyor…"},
    {NativeStringKey::hudShortcutCapture, "hudShortcutCapture",
     "Press the shortcut keys",
     "Kısayol için tuşlara basın"},
    {NativeStringKey::hudInserted, "hudInserted",
     "Inserted",
     "Eklendi"},
    {NativeStringKey::hudCopied, "hudCopied",
     "Copied",
     "Kopyalandı"},
    {NativeStringKey::hudTextReady, "hudTextReady",
     "Text ready",
     "Metin hazır"},
    {NativeStringKey::hudCouldNotComplete, "hudCouldNotComplete",
     "Dorvex couldn’t complete this",
     "Dorvex tamamlayamadı"},
    {NativeStringKey::hudTryAgain, "hudTryAgain",
     "Check settings and try again",
     "Ayarları kontrol edip tekrar deneyin"},
    {NativeStringKey::hudCopy, "hudCopy",
     "Copy",
     "Kopyala"},
    {NativeStringKey::hudCopyToClipboard, "hudCopyToClipboard",
     "Copy to Clipboard",
     "Panoya kopyala"},
    {NativeStringKey::hudCopyFailed, "hudCopyFailed",
     "The text couldn’t be copied",
     "Metin panoya kopyalanamadı"},
    {NativeStringKey::hudPasteFailed, "hudPasteFailed",
     "The text couldn’t be pasted",
     "Metin yapıştırılamadı"},
    {NativeStringKey::hudPasteUnverified, "hudPasteUnverified",
     "Dorvex couldn’t confirm the paste",
     "Dorvex yapıştırmayı doğrulayamadı"},
    {NativeStringKey::hudCopyInstruction, "hudCopyInstruction",
     "Copy it, then press ⌘V to paste.",
     "Kopyalayın, sonra ⌘V ile yapıştırın."},
    {NativeStringKey::hudError, "hudError",
     "Error",
     "Hata"},
    {NativeStringKey::hudListeningAnnouncement, "hudListeningAnnouncement",
     "Dorvex is listening",
     "Dorvex dinliyor"},
    {NativeStringKey::hudProcessingAnnouncement, "hudProcessingAnnouncement",
     "Converting speech to text",
     "Metne dönüştürülüyor"},
    {NativeStringKey::hudAgentListeningAnnouncement, "hudAgentListeningAnnouncement",
     "Dorvex Agent is listening",
     "Dorvex Agent dinliyor"},
    {NativeStringKey::hudAgentProcessingAnnouncement, "hudAgentProcessingAnnouncement",
     "Dorvex Agent is thinking",
     "Dorvex Agent düşünüyor"},
    {NativeStringKey::hudShortcutAnnouncement, "hudShortcutAnnouncement",
     "Capturing shortcut",
     "Kısayol algılanıyor"},
    {NativeStringKey::hudClipboardAnnouncement, "hudClipboardAnnouncement",
     "The text couldn’t be inserted. A copy option is ready.",
     "Metin hedefe yazılamadı. Kopyalama seçeneği hazır."},
    {NativeStringKey::hudUnverifiedAnnouncement, "hudUnverifiedAnnouncement",
     "Dorvex couldn’t confirm insertion. Check the target before using the copy option.",
     "Dorvex metnin yazıldığını doğrulayamadı. Kopyalama seçeneğini kullanmadan önce hedefi kontrol edin."},
    {NativeStringKey::hudCopyFailureAnnouncement, "hudCopyFailureAnnouncement",
     "The text couldn’t be copied. The copy option is still ready.",
     "Metin panoya kopyalanamadı. Kopyalama seçeneği hâlâ hazır."},
    {NativeStringKey::hudInsertedAnnouncement, "hudInsertedAnnouncement",
     "Text inserted",
     "Metin yazıldı"},
    {NativeStringKey::hudCopiedAnnouncement, "hudCopiedAnnouncement",
     "Copied to the clipboard",
     "Panoya kopyalandı"},
    {NativeStringKey::hudInsertedDetail, "hudInsertedDetail",
     "Text inserted into the target app",
     "Metin hedef uygulamaya yazıldı"},
    {NativeStringKey::hudCopiedDetail, "hudCopiedDetail",
     "Press ⌘V to paste into the target app",
     "⌘V ile hedef uygulamaya yapıştırın"},
    {NativeStringKey::hudErrorPrefix, "hudErrorPrefix",
     "Dorvex error",
     "Dorvex hatası"},
    {NativeStringKey::processingTimedOut, "processingTimedOut",
     "The operation timed out",
     "İşlem zaman aşımına uğradı"},
    {NativeStringKey::dictationTimedOut, "dictationTimedOut",
     "The dictation didn’t finish in time and was safely cancelled.",
     "Dikte zamanında tamamlanamadı; işlem güvenli biçimde iptal edildi."},
    {NativeStringKey::shortcutSaveFailed, "shortcutSaveFailed",
     "Shortcut could not be saved",
     "Kısayol kaydedilemedi"},
    {NativeStringKey::permissionMicrophoneShort, "permissionMicrophoneShort",
     "Mic",
     "Mikrofon"},
    {NativeStringKey::permissionAccessibilityShort, "permissionAccessibilityShort",
     "Accessibility",
     "Erişilebilirlik"},
    {NativeStringKey::permissionInputMonitoringShort, "permissionInputMonitoringShort",
     "Keys",
     "Tuşlar"},
    {NativeStringKey::shortcutInputMonitoringRequired, "shortcutInputMonitoringRequired",
     "Input Monitoring permission is required to listen for the Fn/Globe shortcut in other apps. Open macOS Permissions in Dorvex Settings.",
     "Fn/Globe kısayolunu diğer uygulamalarda dinlemek için Klavye İzleme izni gerekli. Dorvex Ayarları’ndaki macOS İzinleri bölümünü açın."},
    {NativeStringKey::shortcutAccessibilityRequired, "shortcutAccessibilityRequired",
     "Accessibility permission is required to safely suppress the macOS Globe action for the Fn/Globe shortcut.",
     "Fn/Globe kısayolunun macOS Globe eylemini güvenle engellemesi için Erişilebilirlik izni gerekli."},
    {NativeStringKey::shortcutEventTapUnavailable, "shortcutEventTapUnavailable",
     "The global keyboard listener could not start. Check Input Monitoring and Accessibility permissions.",
     "Global klavye dinleyicisi başlatılamadı. Klavye İzleme ve Erişilebilirlik izinlerini kontrol edin."},
    {NativeStringKey::coreUnexpectedlyExited, "coreUnexpectedlyExited",
     "The Dorvex core unexpectedly quit",
     "Dorvex çekirdeği beklenmedik şekilde kapandı"},
    {NativeStringKey::coreLaunchFailed, "coreLaunchFailed",
     "The Dorvex core could not start",
     "Dorvex çekirdeği başlatılamadı"},
    {NativeStringKey::coreStartAcknowledgementMismatch, "coreStartAcknowledgementMismatch",
     "The Dorvex core returned an invalid start response for this dictation.",
     "Dorvex çekirdeği bu dikte için geçersiz bir başlangıç yanıtı döndürdü."},
    {NativeStringKey::coreRecordingStateFailed, "coreRecordingStateFailed",
     "The Dorvex core did not enter the recording state.",
     "Dorvex çekirdeği kayıt durumuna geçemedi."},
    {NativeStringKey::coreReleaseAcknowledgementMismatch, "coreReleaseAcknowledgementMismatch",
     "The Dorvex core returned an invalid completion response for this dictation.",
     "Dorvex çekirdeği bu dikte için geçersiz bir tamamlama yanıtı döndürdü."},
    {NativeStringKey::finalTranscriptionMissing, "finalTranscriptionMissing",
     "No final transcription was returned.",
     "Son transkripsiyon döndürülmedi."},
    {NativeStringKey::transcriptionFailed, "transcriptionFailed",
     "Transcription failed.",
     "Transkripsiyon başarısız oldu."},
    {NativeStringKey::dictationFailed, "dictationFailed",
     "Dictation could not be completed.",
     "Dikte tamamlanamadı."},
    {NativeStringKey::agentLabel, "agentLabel",
     "Dorvex Agent",
     "Dorvex Agent"},
    {NativeStringKey::agentCouldNotComplete, "agentCouldNotComplete",
     "Dorvex Agent couldn’t complete that request.",
     "Dorvex Agent bu isteği tamamlayamadı."},
    {NativeStringKey::agentNoAnswer, "agentNoAnswer",
     "Dorvex Agent didn’t return a usable answer.",
     "Dorvex Agent kullanılabilir bir cevap döndürmedi."},
    {NativeStringKey::agentAudioUnclear, "agentAudioUnclear",
     "Dorvex Agent couldn’t clearly hear the question.",
     "Dorvex Agent soruyu net biçimde duyamadı."},
    {NativeStringKey::agentSearchNotConfigured, "agentSearchNotConfigured",
     "Web search isn’t configured yet.",
     "Web araması henüz yapılandırılmadı."},
    {NativeStringKey::agentSearchUnauthorized, "agentSearchUnauthorized",
     "The web-search key could not be verified.",
     "Web araması anahtarı doğrulanamadı."},
    {NativeStringKey::agentSearchTimedOut, "agentSearchTimedOut",
     "Web search took too long. Please try again.",
     "Web araması zaman aşımına uğradı. Lütfen yeniden deneyin."},
    {NativeStringKey::agentModelUnavailable, "agentModelUnavailable",
     "The selected Dorvex AI model isn’t ready.",
     "Seçilen Dorvex AI modeli hazır değil."},
    {NativeStringKey::agentOutputInvalid, "agentOutputInvalid",
     "Dorvex Agent returned an invalid answer. Please try again.",
     "Dorvex Agent geçersiz bir cevap döndürdü. Lütfen yeniden deneyin."},
    {NativeStringKey::agentRemoteUnavailable, "agentRemoteUnavailable",
     "The requested remote Agent isn’t connected.",
     "İstenen uzak Agent bağlı değil."},
    {NativeStringKey::noEditableTarget, "noEditableTarget",
     "No editable text field was available.",
     "Düzenlenebilir bir metin alanı bulunamadı."},
    {NativeStringKey::dictationStartFailed, "dictationStartFailed",
     "Dorvex could not start this dictation",
     "Dorvex bu dikteyi başlatamadı"},
    {NativeStringKey::dictationFinishFailed, "dictationFinishFailed",
     "Dorvex could not finish this dictation",
     "Dorvex bu dikteyi tamamlayamadı"},
    {NativeStringKey::dictationCancelPending, "dictationCancelPending",
     "Dorvex is still trying to cancel this dictation",
     "Dorvex hâlâ bu dikteyi iptal etmeye çalışıyor"},
    {NativeStringKey::voiceProcessingFormatUnsupported, "voiceProcessingFormatUnsupported",
     "The Mac microphone did not provide a supported float32 audio format.",
     "Mac mikrofonu desteklenen float32 ses biçimini sağlamadı."},
    {NativeStringKey::voiceProcessingUnavailable, "voiceProcessingUnavailable",
     "Apple audio cleanup could not be prepared.",
     "Apple ses temizleme motoru hazırlanamadı."},
    {NativeStringKey::nativeAudioTransportInterrupted, "nativeAudioTransportInterrupted",
     "The cleaned audio connection was interrupted; this dictation was safely cancelled.",
     "Temizlenmiş ses bağlantısı kesildi; bu dikte güvenli biçimde iptal edildi."},
    {NativeStringKey::selectionRequestRejected, "selectionRequestRejected",
     "The Dorvex selection request was rejected.",
     "Dorvex seçim isteği reddedildi."},
    {NativeStringKey::nativePreferenceInvalid, "nativePreferenceInvalid",
     "The native preference value is invalid.",
     "Yerel tercih değeri geçersiz."},
    {NativeStringKey::dockVisibilityChangeFailed, "dockVisibilityChangeFailed",
     "Dorvex could not change its Dock visibility.",
     "Dorvex Dock görünürlüğünü değiştiremedi."},
    {NativeStringKey::launchAtLoginUnavailable, "launchAtLoginUnavailable",
     "Launch at login is unavailable for this Dorvex build.",
     "Girişte başlatma bu Dorvex yapısında kullanılamıyor."},
}};

constexpr bool rowsAreCompleteAndInOrder() {
    for (std::size_t index = 0; index < kRows.size(); ++index) {
        const auto& row = kRows[index];
        if (static_cast<std::size_t>(row.key) != index) return false;
        if (row.name.empty() || row.english.empty() || row.turkish.empty()) return false;
    }
    return true;
}
static_assert(rowsAreCompleteAndInOrder(), "every key needs its row, in declaration order, with both texts");
static_assert(kRows.back().key == NativeStringKey::launchAtLoginUnavailable);

const CatalogRow& rowFor(NativeStringKey key) {
    return kRows[static_cast<std::size_t>(key)];
}

}  // namespace

std::string_view rawValue(NativeStringKey key) {
    return rowFor(key).name;
}

std::optional<NativeStringKey> nativeStringKeyFromRawValue(std::string_view rawValue) {
    for (const auto& row : kRows) {
        if (row.name == rawValue) return row.key;
    }
    return std::nullopt;
}

std::string NativeStringCatalog::value(NativeStringKey key, NativeAppLanguage language) {
    const auto& row = rowFor(key);
    return std::string(resolved(language) == NativeAppLanguage::turkish ? row.turkish : row.english);
}

NativeLocalizedStrings::NativeLocalizedStrings(NativeAppLanguage language)
    : language_(resolved(language)) {}

NativeLocalizedStrings::NativeLocalizedStrings(NativeAppLanguage language,
                                               std::span<const std::string> preferredLanguages)
    : language_(resolved(language, preferredLanguages)) {}

std::string NativeLocalizedStrings::text(NativeStringKey key) const {
    return NativeStringCatalog::value(key, language_);
}

std::string NativeLocalizedStrings::openMurmo() const { return text(NativeStringKey::openMurmo); }
std::string NativeLocalizedStrings::settings() const { return text(NativeStringKey::settings); }
std::string NativeLocalizedStrings::view() const { return text(NativeStringKey::view); }
std::string NativeLocalizedStrings::quitMurmo() const { return text(NativeStringKey::quitMurmo); }
std::string NativeLocalizedStrings::checkMicrophonePermission() const { return text(NativeStringKey::checkMicrophonePermission); }
std::string NativeLocalizedStrings::checkAccessibilityPermission() const { return text(NativeStringKey::checkAccessibilityPermission); }
std::string NativeLocalizedStrings::checkInputMonitoringPermission() const { return text(NativeStringKey::checkInputMonitoringPermission); }
std::string NativeLocalizedStrings::coreConnected() const { return text(NativeStringKey::coreConnected); }
std::string NativeLocalizedStrings::coreOffline() const { return text(NativeStringKey::coreOffline); }
std::string NativeLocalizedStrings::resumeDictation() const { return text(NativeStringKey::resumeDictation); }
std::string NativeLocalizedStrings::pauseDictation() const { return text(NativeStringKey::pauseDictation); }
std::string NativeLocalizedStrings::shortcut() const { return text(NativeStringKey::shortcut); }
std::string NativeLocalizedStrings::holdShortcut() const { return text(NativeStringKey::holdShortcut); }
std::string NativeLocalizedStrings::disabled() const { return text(NativeStringKey::disabled); }
std::string NativeLocalizedStrings::launchAtLogin() const { return text(NativeStringKey::launchAtLogin); }
std::string NativeLocalizedStrings::awaitingApproval() const { return text(NativeStringKey::awaitingApproval); }
std::string NativeLocalizedStrings::unavailable() const { return text(NativeStringKey::unavailable); }
std::string NativeLocalizedStrings::hideNavigation() const { return text(NativeStringKey::hideNavigation); }
std::string NativeLocalizedStrings::showNavigation() const { return text(NativeStringKey::showNavigation); }
std::string NativeLocalizedStrings::localProfile() const { return text(NativeStringKey::localProfile); }
std::string NativeLocalizedStrings::changeTheme() const { return text(NativeStringKey::changeTheme); }
std::string NativeLocalizedStrings::bigMode() const { return text(NativeStringKey::bigMode); }
std::string NativeLocalizedStrings::useBigMode() const { return text(NativeStringKey::useBigMode); }
std::string NativeLocalizedStrings::useCompactMode() const { return text(NativeStringKey::useCompactMode); }
std::string NativeLocalizedStrings::launchAtLoginChangeFailed() const { return text(NativeStringKey::launchAtLoginChangeFailed); }
std::string NativeLocalizedStrings::mainWindowTitle() const { return text(NativeStringKey::mainWindowTitle); }
std::string NativeLocalizedStrings::settingsWindowTitle() const { return text(NativeStringKey::settingsWindowTitle); }
std::string NativeLocalizedStrings::coreLoading() const { return text(NativeStringKey::coreLoading); }
std::string NativeLocalizedStrings::settingsLoading() const { return text(NativeStringKey::settingsLoading); }
std::string NativeLocalizedStrings::confirm() const { return text(NativeStringKey::confirm); }
std::string NativeLocalizedStrings::cancel() const { return text(NativeStringKey::cancel); }
std::string NativeLocalizedStrings::hudReady() const { return text(NativeStringKey::hudReady); }
std::string NativeLocalizedStrings::hudBooting() const { return text(NativeStringKey::hudBooting); }
std::string NativeLocalizedStrings::hudPaused() const { return text(NativeStringKey::hudPaused); }
std::string NativeLocalizedStrings::hudOffline() const { return text(NativeStringKey::hudOffline); }
std::string NativeLocalizedStrings::hudListening() const { return text(NativeStringKey::hudListening); }
std::string NativeLocalizedStrings::hudProcessing() const { return text(NativeStringKey::hudProcessing); }
std::string NativeLocalizedStrings::hudShortcutCapture() const { return text(NativeStringKey::hudShortcutCapture); }
std::string NativeLocalizedStrings::hudInserted() const { return text(NativeStringKey::hudInserted); }
std::string NativeLocalizedStrings::hudCopied() const { return text(NativeStringKey::hudCopied); }
std::string NativeLocalizedStrings::hudTextReady() const { return text(NativeStringKey::hudTextReady); }
std::string NativeLocalizedStrings::hudCouldNotComplete() const { return text(NativeStringKey::hudCouldNotComplete); }
std::string NativeLocalizedStrings::hudTryAgain() const { return text(NativeStringKey::hudTryAgain); }
std::string NativeLocalizedStrings::hudCopy() const { return text(NativeStringKey::hudCopy); }
std::string NativeLocalizedStrings::hudCopyToClipboard() const { return text(NativeStringKey::hudCopyToClipboard); }
std::string NativeLocalizedStrings::hudCopyFailed() const { return text(NativeStringKey::hudCopyFailed); }
std::string NativeLocalizedStrings::hudPasteFailed() const { return text(NativeStringKey::hudPasteFailed); }
std::string NativeLocalizedStrings::hudPasteUnverified() const { return text(NativeStringKey::hudPasteUnverified); }
std::string NativeLocalizedStrings::hudCopyInstruction() const { return text(NativeStringKey::hudCopyInstruction); }
std::string NativeLocalizedStrings::hudError() const { return text(NativeStringKey::hudError); }
std::string NativeLocalizedStrings::hudListeningAnnouncement() const { return text(NativeStringKey::hudListeningAnnouncement); }
std::string NativeLocalizedStrings::hudProcessingAnnouncement() const { return text(NativeStringKey::hudProcessingAnnouncement); }
std::string NativeLocalizedStrings::hudAgentListeningAnnouncement() const { return text(NativeStringKey::hudAgentListeningAnnouncement); }
std::string NativeLocalizedStrings::hudAgentProcessingAnnouncement() const { return text(NativeStringKey::hudAgentProcessingAnnouncement); }
std::string NativeLocalizedStrings::hudShortcutAnnouncement() const { return text(NativeStringKey::hudShortcutAnnouncement); }
std::string NativeLocalizedStrings::hudClipboardAnnouncement() const { return text(NativeStringKey::hudClipboardAnnouncement); }
std::string NativeLocalizedStrings::hudUnverifiedAnnouncement() const { return text(NativeStringKey::hudUnverifiedAnnouncement); }
std::string NativeLocalizedStrings::hudCopyFailureAnnouncement() const { return text(NativeStringKey::hudCopyFailureAnnouncement); }
std::string NativeLocalizedStrings::hudInsertedAnnouncement() const { return text(NativeStringKey::hudInsertedAnnouncement); }
std::string NativeLocalizedStrings::hudCopiedAnnouncement() const { return text(NativeStringKey::hudCopiedAnnouncement); }
std::string NativeLocalizedStrings::hudInsertedDetail() const { return text(NativeStringKey::hudInsertedDetail); }
std::string NativeLocalizedStrings::hudCopiedDetail() const { return text(NativeStringKey::hudCopiedDetail); }
std::string NativeLocalizedStrings::processingTimedOut() const { return text(NativeStringKey::processingTimedOut); }
std::string NativeLocalizedStrings::dictationTimedOut() const { return text(NativeStringKey::dictationTimedOut); }
std::string NativeLocalizedStrings::shortcutSaveFailed() const { return text(NativeStringKey::shortcutSaveFailed); }
std::string NativeLocalizedStrings::permissionMicrophoneShort() const { return text(NativeStringKey::permissionMicrophoneShort); }
std::string NativeLocalizedStrings::permissionAccessibilityShort() const { return text(NativeStringKey::permissionAccessibilityShort); }
std::string NativeLocalizedStrings::permissionInputMonitoringShort() const { return text(NativeStringKey::permissionInputMonitoringShort); }
std::string NativeLocalizedStrings::shortcutInputMonitoringRequired() const { return text(NativeStringKey::shortcutInputMonitoringRequired); }
std::string NativeLocalizedStrings::shortcutAccessibilityRequired() const { return text(NativeStringKey::shortcutAccessibilityRequired); }
std::string NativeLocalizedStrings::shortcutEventTapUnavailable() const { return text(NativeStringKey::shortcutEventTapUnavailable); }
std::string NativeLocalizedStrings::coreLaunchFailed() const { return text(NativeStringKey::coreLaunchFailed); }
std::string NativeLocalizedStrings::coreStartAcknowledgementMismatch() const { return text(NativeStringKey::coreStartAcknowledgementMismatch); }
std::string NativeLocalizedStrings::coreRecordingStateFailed() const { return text(NativeStringKey::coreRecordingStateFailed); }
std::string NativeLocalizedStrings::coreReleaseAcknowledgementMismatch() const { return text(NativeStringKey::coreReleaseAcknowledgementMismatch); }
std::string NativeLocalizedStrings::finalTranscriptionMissing() const { return text(NativeStringKey::finalTranscriptionMissing); }
std::string NativeLocalizedStrings::transcriptionFailed() const { return text(NativeStringKey::transcriptionFailed); }
std::string NativeLocalizedStrings::dictationFailed() const { return text(NativeStringKey::dictationFailed); }
std::string NativeLocalizedStrings::agentLabel() const { return text(NativeStringKey::agentLabel); }
std::string NativeLocalizedStrings::agentCouldNotComplete() const { return text(NativeStringKey::agentCouldNotComplete); }
std::string NativeLocalizedStrings::agentNoAnswer() const { return text(NativeStringKey::agentNoAnswer); }
std::string NativeLocalizedStrings::agentAudioUnclear() const { return text(NativeStringKey::agentAudioUnclear); }
std::string NativeLocalizedStrings::agentSearchNotConfigured() const { return text(NativeStringKey::agentSearchNotConfigured); }
std::string NativeLocalizedStrings::agentSearchUnauthorized() const { return text(NativeStringKey::agentSearchUnauthorized); }
std::string NativeLocalizedStrings::agentSearchTimedOut() const { return text(NativeStringKey::agentSearchTimedOut); }
std::string NativeLocalizedStrings::agentModelUnavailable() const { return text(NativeStringKey::agentModelUnavailable); }
std::string NativeLocalizedStrings::agentOutputInvalid() const { return text(NativeStringKey::agentOutputInvalid); }
std::string NativeLocalizedStrings::agentRemoteUnavailable() const { return text(NativeStringKey::agentRemoteUnavailable); }
std::string NativeLocalizedStrings::noEditableTarget() const { return text(NativeStringKey::noEditableTarget); }
std::string NativeLocalizedStrings::dictationStartFailed() const { return text(NativeStringKey::dictationStartFailed); }
std::string NativeLocalizedStrings::dictationFinishFailed() const { return text(NativeStringKey::dictationFinishFailed); }
std::string NativeLocalizedStrings::dictationCancelPending() const { return text(NativeStringKey::dictationCancelPending); }
std::string NativeLocalizedStrings::voiceProcessingFormatUnsupported() const { return text(NativeStringKey::voiceProcessingFormatUnsupported); }
std::string NativeLocalizedStrings::voiceProcessingUnavailable() const { return text(NativeStringKey::voiceProcessingUnavailable); }
std::string NativeLocalizedStrings::nativeAudioTransportInterrupted() const { return text(NativeStringKey::nativeAudioTransportInterrupted); }
std::string NativeLocalizedStrings::selectionRequestRejected() const { return text(NativeStringKey::selectionRequestRejected); }
std::string NativeLocalizedStrings::nativePreferenceInvalid() const { return text(NativeStringKey::nativePreferenceInvalid); }
std::string NativeLocalizedStrings::dockVisibilityChangeFailed() const { return text(NativeStringKey::dockVisibilityChangeFailed); }
std::string NativeLocalizedStrings::launchAtLoginUnavailable() const { return text(NativeStringKey::launchAtLoginUnavailable); }

std::string NativeLocalizedStrings::coreUnexpectedlyExited(std::int32_t status) const {
    return fmt::format("{} ({})", text(NativeStringKey::coreUnexpectedlyExited), status);
}

std::string NativeLocalizedStrings::hudErrorAnnouncement() const {
    return fmt::format("{}. {}. {}", text(NativeStringKey::hudErrorPrefix), text(NativeStringKey::hudCouldNotComplete),
                       text(NativeStringKey::hudTryAgain));
}

NativeLocalizedStrings strings(NativeAppLanguage language) {
    return NativeLocalizedStrings(language);
}

}  // namespace murmo
