#include "input/VoiceProcessingAudioCaptureError.h"

#include "services/NativeStringCatalog.h"

namespace murmo {

namespace {

using Case = VoiceProcessingAudioCaptureError::Case;

struct Texts {
    std::string_view english;
    std::string_view turkish;
};

// The catalog key of the cases whose texts the catalog holds.
std::optional<NativeStringKey> catalogKey(Case kind) {
    switch (kind) {
        case Case::voiceProcessingUnavailable:
        case Case::engineUnavailable: return NativeStringKey::voiceProcessingUnavailable;
        case Case::unsupportedInputFormat: return NativeStringKey::voiceProcessingFormatUnsupported;
        default: return std::nullopt;
    }
}

// The inline texts of every other case.
Texts textsFor(Case kind) {
    switch (kind) {
        case Case::engineStartFailed:
            return {"The microphone could not start. Check the input device and try again.",
                    "Mikrofon başlatılamadı. Giriş aygıtını kontrol edip yeniden deneyin."};
        case Case::voiceProcessingUnavailable:
        case Case::engineUnavailable:
        case Case::unsupportedInputFormat: break;
        case Case::permissionNotDetermined:
            return {"Allow microphone access to start recording.",
                    "Kaydı başlatmak için mikrofon erişimine izin verin."};
        case Case::permissionDenied:
            return {"Allow Dorvex in System Settings → Privacy & Security → Microphone.",
                    "Sistem Ayarları → Gizlilik ve Güvenlik → Mikrofon bölümünde Dorvex'ya izin verin."};
        case Case::permissionRestricted:
            return {"Microphone access is restricted on this Mac. Contact your administrator.",
                    "Bu Mac'te mikrofon erişimi kısıtlanmış. Sistem yöneticinize başvurun."};
        case Case::inputDeviceUnavailable:
            return {"The selected microphone is unavailable. Connect it or choose another input.",
                    "Seçilen mikrofon kullanılamıyor. Mikrofonu bağlayın veya başka bir giriş seçin."};
        case Case::inputDeviceAmbiguous:
            return {"More than one microphone has this name. Choose the system default input.",
                    "Aynı adla birden fazla mikrofon bulundu. Sistem varsayılan girişini seçin."};
        case Case::noAudioBuffers:
            return {"The microphone did not send any audio. Check the input device and try again.",
                    "Mikrofon ses verisi göndermedi. Giriş aygıtını kontrol edip yeniden deneyin."};
        case Case::audioInterrupted:
            return {"Audio from the microphone stopped. Check the input device and start a new recording.",
                    "Mikrofondan ses akışı kesildi. Giriş aygıtını kontrol edip yeni bir kayıt başlatın."};
        case Case::routeChanged:
            return {"The audio device changed during recording. Start a new recording.",
                    "Kayıt sırasında ses aygıtı değişti. Yeni bir kayıt başlatın."};
    }
    return {};
}

}  // namespace

std::string_view VoiceProcessingAudioCaptureError::code() const {
    switch (kind) {
        case Case::engineStartFailed: return "engine_start_failed";
        case Case::voiceProcessingUnavailable: return "voice_processing_unavailable";
        case Case::unsupportedInputFormat: return "unsupported_input_format";
        case Case::engineUnavailable: return "engine_unavailable";
        case Case::permissionNotDetermined: return "microphone_permission_required";
        case Case::permissionDenied: return "microphone_permission_denied";
        case Case::permissionRestricted: return "microphone_permission_restricted";
        case Case::inputDeviceUnavailable: return "input_device_unavailable";
        case Case::inputDeviceAmbiguous: return "input_device_ambiguous";
        case Case::noAudioBuffers: return "no_audio_buffers";
        case Case::audioInterrupted: return "audio_interrupted";
        case Case::routeChanged: return "audio_route_changed";
    }
    return "engine_unavailable";
}

std::string VoiceProcessingAudioCaptureError::localizedDescription(NativeAppLanguage language) const {
    if (auto key = catalogKey(kind)) return NativeStringCatalog::value(*key, language);
    const Texts texts = textsFor(kind);
    return std::string(language == NativeAppLanguage::turkish ? texts.turkish : texts.english);
}

Error VoiceProcessingAudioCaptureError::toError() const {
    return Error("VoiceProcessingAudioCaptureError", static_cast<long>(kind), errorDescription(), std::string(code()));
}

}  // namespace murmo
