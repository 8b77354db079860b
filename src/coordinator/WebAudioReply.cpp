#include "coordinator/WebAudioReply.h"

namespace murmo {

WebAudioReply::~WebAudioReply() {
    if (send_) std::exchange(send_, nullptr)(unavailable());
}

void WebAudioReply::answer(json::Json reply) {
    if (send_) std::exchange(send_, nullptr)(std::move(reply));
}

json::Json WebAudioReply::unavailable() {
    return json::Json{{"error", "The audio service is unavailable. Restart Dorvex."},
                      {"code", "audio_service_unavailable"}};
}

}  // namespace murmo
