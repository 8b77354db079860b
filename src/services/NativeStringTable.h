#pragma once

// The one list of the application's own texts: key, how it is read, English,
// Turkish. Every other place (the key enumeration, the catalog rows, the
// accessors of NativeLocalizedStrings) is expanded from it.
//
// `plain` keys get an accessor of their own name; `composed` keys are read
// only through an accessor that builds a larger text from them.
//
// The texts are used byte for byte: typographic apostrophes (’), the ellipsis
// character (…) and the command sign (⌘) are part of them.
#define MURMO_NATIVE_STRINGS(X)                                                                                               \
    X(openMurmo, plain, "Open Dorvex", "Dorvex’yi Aç")                                                                        \
    X(settings, plain, "Settings…", "Ayarlar…")                                                                               \
    X(view, plain, "View", "Görünüm")                                                                                         \
    X(quitMurmo, plain, "Quit Dorvex Completely", "Dorvex’den Tamamen Çık")                                                   \
    X(checkMicrophonePermission, plain, "Check Microphone Permission", "Mikrofon İznini Kontrol Et")                          \
    X(checkAccessibilityPermission, plain, "Check Accessibility Permission", "Erişilebilirlik İznini Kontrol Et")             \
    X(checkInputMonitoringPermission, plain, "Check Input Monitoring Permission", "Klavye İzleme İznini Kontrol Et")          \
    X(coreConnected, plain, "Core connected", "Çekirdek bağlı")                                                               \
    X(coreOffline, plain, "Core offline", "Çekirdek çevrimdışı")                                                              \
    X(resumeDictation, plain, "Resume Dictation", "Dikteyi Sürdür")                                                           \
    X(pauseDictation, plain, "Pause Dictation", "Dikteyi Duraklat")                                                           \
    X(shortcut, plain, "Shortcut", "Kısayol")                                                                                 \
    X(holdShortcut, plain, "hold", "basılı tut")                                                                              \
    X(disabled, plain, "disabled", "devre dışı")                                                                              \
    X(launchAtLogin, plain, "Launch at Login", "Girişte Başlat")                                                              \
    X(awaitingApproval, plain, "Awaiting approval", "Onay bekliyor")                                                          \
    X(unavailable, plain, "Unavailable", "Kullanılamıyor")                                                                    \
    X(hideNavigation, plain, "Hide Navigation", "Navigasyonu Gizle")                                                          \
    X(showNavigation, plain, "Show Navigation", "Navigasyonu Göster")                                                         \
    X(localProfile, plain, "Local Profile", "Yerel Profil")                                                                   \
    X(changeTheme, plain, "Change Theme", "Temayı Değiştir")                                                                  \
    X(bigMode, plain, "Big Mode", "Büyük Mod")                                                                                \
    X(useBigMode, plain, "Use Big Mode", "Büyük Modu Kullan")                                                                 \
    X(useCompactMode, plain, "Use Compact Mode", "Kompakt Modu Kullan")                                                       \
    X(launchAtLoginChangeFailed, plain, "Launch at Login could not be changed",                                               \
      "Girişte başlatma ayarı değiştirilemedi")                                                                               \
    X(mainWindowTitle, plain, "Dorvex", "Dorvex")                                                                             \
    X(settingsWindowTitle, plain, "Dorvex Settings", "Dorvex Ayarları")                                                       \
    X(coreLoading, plain, "Starting the Dorvex core…", "Dorvex çekirdeği başlatılıyor…")                                      \
    X(settingsLoading, plain, "Loading Dorvex settings…", "Dorvex ayarları yükleniyor…")                                      \
    X(confirm, plain, "Confirm", "Onayla")                                                                                    \
    X(cancel, plain, "Cancel", "Vazgeç")                                                                                      \
    X(hudReady, plain, "Dorvex is ready", "Dorvex hazır")                                                                     \
    X(hudBooting, plain, "Dorvex is starting…", "Dorvex hazırlanıyor…")                                                       \
    X(hudPaused, plain, "Dictation paused", "Dikte duraklatıldı")                                                             \
    X(hudOffline, plain, "Dorvex is offline", "Dorvex çevrimdışı")                                                            \
    X(hudListening, plain, "Listening…", "Dinliyorum…")                                                                       \
    X(hudProcessing, plain, "Processing…", "İşleniyor…")                                                                      \
    X(hudShortcutCapture, plain, "Press the shortcut keys", "Kısayol için tuşlara basın")                                     \
    X(hudInserted, plain, "Inserted", "Eklendi")                                                                              \
    X(hudCopied, plain, "Copied", "Kopyalandı")                                                                               \
    X(hudTextReady, plain, "Text ready", "Metin hazır")                                                                       \
    X(hudCouldNotComplete, plain, "Dorvex couldn’t complete this", "Dorvex tamamlayamadı")                                    \
    X(hudTryAgain, plain, "Check settings and try again", "Ayarları kontrol edip tekrar deneyin")                             \
    X(hudCopy, plain, "Copy", "Kopyala")                                                                                      \
    X(hudCopyToClipboard, plain, "Copy to Clipboard", "Panoya kopyala")                                                       \
    X(hudCopyFailed, plain, "The text couldn’t be copied", "Metin panoya kopyalanamadı")                                      \
    X(hudPasteFailed, plain, "The text couldn’t be pasted", "Metin yapıştırılamadı")                                          \
    X(hudPasteUnverified, plain, "Dorvex couldn’t confirm the paste", "Dorvex yapıştırmayı doğrulayamadı")                    \
    X(hudCopyInstruction, plain, "Copy it, then press ⌘V to paste.", "Kopyalayın, sonra ⌘V ile yapıştırın.")                  \
    X(hudError, plain, "Error", "Hata")                                                                                       \
    X(hudListeningAnnouncement, plain, "Dorvex is listening", "Dorvex dinliyor")                                              \
    X(hudProcessingAnnouncement, plain, "Converting speech to text", "Metne dönüştürülüyor")                                  \
    X(hudAgentListeningAnnouncement, plain, "Dorvex Agent is listening", "Dorvex Agent dinliyor")                             \
    X(hudAgentProcessingAnnouncement, plain, "Dorvex Agent is thinking", "Dorvex Agent düşünüyor")                            \
    X(hudShortcutAnnouncement, plain, "Capturing shortcut", "Kısayol algılanıyor")                                            \
    X(hudClipboardAnnouncement, plain, "The text couldn’t be inserted. A copy option is ready.",                              \
      "Metin hedefe yazılamadı. Kopyalama seçeneği hazır.")                                                                   \
    X(hudUnverifiedAnnouncement, plain,                                                                                       \
      "Dorvex couldn’t confirm insertion. Check the target before using the copy option.",                                    \
      "Dorvex metnin yazıldığını doğrulayamadı. Kopyalama seçeneğini kullanmadan önce hedefi kontrol edin.")                  \
    X(hudCopyFailureAnnouncement, plain, "The text couldn’t be copied. The copy option is still ready.",                      \
      "Metin panoya kopyalanamadı. Kopyalama seçeneği hâlâ hazır.")                                                           \
    X(hudInsertedAnnouncement, plain, "Text inserted", "Metin yazıldı")                                                       \
    X(hudCopiedAnnouncement, plain, "Copied to the clipboard", "Panoya kopyalandı")                                           \
    X(hudInsertedDetail, plain, "Text inserted into the target app", "Metin hedef uygulamaya yazıldı")                        \
    X(hudCopiedDetail, plain, "Press ⌘V to paste into the target app", "⌘V ile hedef uygulamaya yapıştırın")                  \
    X(hudErrorPrefix, composed, "Dorvex error", "Dorvex hatası")                                                              \
    X(processingTimedOut, plain, "The operation timed out", "İşlem zaman aşımına uğradı")                                     \
    X(dictationTimedOut, plain, "The dictation didn’t finish in time and was safely cancelled.",                              \
      "Dikte zamanında tamamlanamadı; işlem güvenli biçimde iptal edildi.")                                                   \
    X(shortcutSaveFailed, plain, "Shortcut could not be saved", "Kısayol kaydedilemedi")                                      \
    X(permissionMicrophoneShort, plain, "Mic", "Mikrofon")                                                                    \
    X(permissionAccessibilityShort, plain, "Accessibility", "Erişilebilirlik")                                                \
    X(permissionInputMonitoringShort, plain, "Keys", "Tuşlar")                                                                \
    X(shortcutInputMonitoringRequired, plain,                                                                                 \
      "Input Monitoring permission is required to listen for the Fn/Globe shortcut in other apps. Open macOS "                \
      "Permissions in Dorvex Settings.",                                                                                      \
      "Fn/Globe kısayolunu diğer uygulamalarda dinlemek için Klavye İzleme izni gerekli. Dorvex Ayarları’ndaki macOS " \
      "İzinleri bölümünü açın.")                                                                                              \
    X(shortcutAccessibilityRequired, plain,                                                                                   \
      "Accessibility permission is required to safely suppress the macOS Globe action for the Fn/Globe shortcut.",            \
      "Fn/Globe kısayolunun macOS Globe eylemini güvenle engellemesi için Erişilebilirlik izni gerekli.")                     \
    X(shortcutEventTapUnavailable, plain,                                                                                     \
      "The global keyboard listener could not start. Check Input Monitoring and Accessibility permissions.",                  \
      "Global klavye dinleyicisi başlatılamadı. Klavye İzleme ve Erişilebilirlik izinlerini kontrol edin.")                   \
    X(coreUnexpectedlyExited, composed, "The Dorvex core unexpectedly quit",                                                  \
      "Dorvex çekirdeği beklenmedik şekilde kapandı")                                                                         \
    X(coreLaunchFailed, plain, "The Dorvex core could not start", "Dorvex çekirdeği başlatılamadı")                           \
    X(coreStartAcknowledgementMismatch, plain,                                                                                \
      "The Dorvex core returned an invalid start response for this dictation.",                                               \
      "Dorvex çekirdeği bu dikte için geçersiz bir başlangıç yanıtı döndürdü.")                                               \
    X(coreRecordingStateFailed, plain, "The Dorvex core did not enter the recording state.",                                  \
      "Dorvex çekirdeği kayıt durumuna geçemedi.")                                                                            \
    X(coreReleaseAcknowledgementMismatch, plain,                                                                              \
      "The Dorvex core returned an invalid completion response for this dictation.",                                          \
      "Dorvex çekirdeği bu dikte için geçersiz bir tamamlama yanıtı döndürdü.")                                               \
    X(finalTranscriptionMissing, plain, "No final transcription was returned.", "Son transkripsiyon döndürülmedi.")           \
    X(transcriptionFailed, plain, "Transcription failed.", "Transkripsiyon başarısız oldu.")                                  \
    X(dictationFailed, plain, "Dictation could not be completed.", "Dikte tamamlanamadı.")                                    \
    X(agentLabel, plain, "Dorvex Agent", "Dorvex Agent")                                                                      \
    X(agentCouldNotComplete, plain, "Dorvex Agent couldn’t complete that request.",                                           \
      "Dorvex Agent bu isteği tamamlayamadı.")                                                                                \
    X(agentNoAnswer, plain, "Dorvex Agent didn’t return a usable answer.",                                                    \
      "Dorvex Agent kullanılabilir bir cevap döndürmedi.")                                                                    \
    X(agentAudioUnclear, plain, "Dorvex Agent couldn’t clearly hear the question.",                                           \
      "Dorvex Agent soruyu net biçimde duyamadı.")                                                                            \
    X(agentSearchNotConfigured, plain, "Web search isn’t configured yet.", "Web araması henüz yapılandırılmadı.")             \
    X(agentSearchUnauthorized, plain, "The web-search key could not be verified.",                                            \
      "Web araması anahtarı doğrulanamadı.")                                                                                  \
    X(agentSearchTimedOut, plain, "Web search took too long. Please try again.",                                              \
      "Web araması zaman aşımına uğradı. Lütfen yeniden deneyin.")                                                            \
    X(agentModelUnavailable, plain, "The selected Dorvex AI model isn’t ready.",                                              \
      "Seçilen Dorvex AI modeli hazır değil.")                                                                                \
    X(agentOutputInvalid, plain, "Dorvex Agent returned an invalid answer. Please try again.",                                \
      "Dorvex Agent geçersiz bir cevap döndürdü. Lütfen yeniden deneyin.")                                                    \
    X(agentRemoteUnavailable, plain, "The requested remote Agent isn’t connected.", "İstenen uzak Agent bağlı değil.")        \
    X(noEditableTarget, plain, "No editable text field was available.", "Düzenlenebilir bir metin alanı bulunamadı.")         \
    X(dictationStartFailed, plain, "Dorvex could not start this dictation", "Dorvex bu dikteyi başlatamadı")                  \
    X(dictationFinishFailed, plain, "Dorvex could not finish this dictation", "Dorvex bu dikteyi tamamlayamadı")              \
    X(dictationCancelPending, plain, "Dorvex is still trying to cancel this dictation",                                       \
      "Dorvex hâlâ bu dikteyi iptal etmeye çalışıyor")                                                                        \
    X(voiceProcessingFormatUnsupported, plain, "The Mac microphone did not provide a supported float32 audio format.",        \
      "Mac mikrofonu desteklenen float32 ses biçimini sağlamadı.")                                                            \
    X(voiceProcessingUnavailable, plain, "Apple audio cleanup could not be prepared.",                                        \
      "Apple ses temizleme motoru hazırlanamadı.")                                                                            \
    X(nativeAudioTransportInterrupted, plain,                                                                                 \
      "The cleaned audio connection was interrupted; this dictation was safely cancelled.",                                   \
      "Temizlenmiş ses bağlantısı kesildi; bu dikte güvenli biçimde iptal edildi.")                                           \
    X(selectionRequestRejected, plain, "The Dorvex selection request was rejected.",                                          \
      "Dorvex seçim isteği reddedildi.")                                                                                      \
    X(nativePreferenceInvalid, plain, "The native preference value is invalid.", "Yerel tercih değeri geçersiz.")             \
    X(dockVisibilityChangeFailed, plain, "Dorvex could not change its Dock visibility.",                                      \
      "Dorvex Dock görünürlüğünü değiştiremedi.")                                                                             \
    X(launchAtLoginUnavailable, plain, "Launch at login is unavailable for this Dorvex build.",                               \
      "Girişte başlatma bu Dorvex yapısında kullanılamıyor.")
