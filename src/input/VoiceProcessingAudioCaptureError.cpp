#include "input/VoiceProcessingAudioCaptureError.h"

namespace murmo {

namespace {

using Case = VoiceProcessingAudioCaptureError::Case;

constexpr std::string_view kTurkish = "tr";

struct Texts {
    std::string_view english;
    std::string_view turkish;
};

// The two texts shared with the native string catalog; their Turkish forms
// are the catalog's.
constexpr Texts kVoiceProcessingUnavailable{
    "Apple audio cleanup could not be prepared.",
    "Apple ses temizleme motoru hazırlanamadı.",
};
constexpr Texts kVoiceProcessingFormatUnsupported{
    "The Mac microphone did not provide a supported float32 audio format.",
    "Mac mikrofonu desteklenen float32 ses biçimini sağlamadı.",
};

Texts textsFor(Case kind) {
    switch (kind) {
    case Case::engineStartFailed:
        return {"The microphone could not start. Check the input device and try again.",
                "Mikrofon başlatılamadı. Giriş aygıtını kontrol edip yeniden deneyin."};
    case Case::voiceProcessingUnavailable:
    case Case::engineUnavailable:
        return kVoiceProcessingUnavailable;
    case Case::unsupportedInputFormat:
        return kVoiceProcessingFormatUnsupported;
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
    return kVoiceProcessingUnavailable;
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

std::string VoiceProcessingAudioCaptureError::localizedDescription(std::string_view language) const {
    const Texts texts = textsFor(kind);
    return std::string(language == kTurkish ? texts.turkish : texts.english);
}

Error VoiceProcessingAudioCaptureError::toError() const {
    return Error("VoiceProcessingAudioCaptureError", static_cast<long>(kind), errorDescription(), std::string(code()));
}

}  // namespace murmo
