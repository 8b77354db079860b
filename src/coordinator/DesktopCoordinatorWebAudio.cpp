// The dashboard page recording through the application's microphone: one
// recording at a time, excluding shortcut operations, streamed to the engine
// under the page's own operation id. Every command is answered once; the
// waits in between (the permission prompt, the settings, the stream's end)
// let other work run, so the claim is checked again after each.

#include "coordinator/DesktopCoordinator.h"

namespace murmo {

namespace {

const CaptureFailureDetail kRecordingBusy{"recording_busy",
                                          "Another recording is active or finishing. Please wait, or cancel it first."};
const CaptureFailureDetail kRecordingCancelled{"recording_cancelled", "Recording was cancelled."};
const CaptureFailureDetail kSettingsUnavailable{"audio_settings_unavailable",
                                                "The local audio service did not respond. Please try again."};

json::Json ended() { return json::Json{{"ended", true}}; }

}  // namespace

void DesktopCoordinator::handleWebAudio(NativeAudioCommand command, WebAudioReply reply) {
    switch (command.action) {
        case NativeAudioCommand::Action::begin: beginWebAudio(command.operationID, std::move(reply)); return;
        case NativeAudioCommand::Action::end: endWebAudio(command.operationID, std::move(reply)); return;
        case NativeAudioCommand::Action::cancel: cancelWebAudio(command.operationID, std::move(reply)); return;
    }
}

void DesktopCoordinator::cancelWebAudio() {
    abandonDashboardRecording("recording_cancelled",
                              "Recording stopped because the recording window closed or reloaded.");
}

void DesktopCoordinator::beginWebAudio(const std::string& operationID, WebAudioReply reply) {
    if (operation_.operationID || webAudioOperationID_ || nativeAudioOperationID_ ||
        nativeAudioFinalizationOperationID_) {
        reply.answer(audioErrorReply(kRecordingBusy));
        return;
    }
    // The claim follows the busy test with no wait between them, so two
    // begins can never both take the microphone.
    webAudioOperationID_ = operationID;
    auto pending = std::make_shared<WebAudioReply>(std::move(reply));
    if (ports_.microphonePermission->authorizationStatus() != MicrophoneAuthorizationStatus::notDetermined) {
        fetchWebAudioSettings(operationID, pending);
        return;
    }
    // The answer is not looked at: a refusal shows when the capture starts.
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    MainLoop* loop = &ports_.loop;
    // The answer comes on a thread of the system's; the reply moves on to the
    // main loop with it, so the last hold on it, and any answer, stay there.
    ports_.microphonePermission->requestAccess([weak, loop, operationID, pending = std::move(pending)](bool) mutable {
        loop->post([weak, operationID, pending = std::move(pending)] {
            if (auto self = weak.lock()) self->fetchWebAudioSettings(operationID, pending);
        });
    });
}

void DesktopCoordinator::fetchWebAudioSettings(const std::string& operationID,
                                               const std::shared_ptr<WebAudioReply>& reply) {
    if (webAudioOperationID_ != operationID) {
        reply->answer(audioErrorReply(kRecordingCancelled));
        return;
    }
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    client_->fetchShortcutSettings([weak, operationID, reply](Result<ShortcutSettingsResponse> settings) {
        if (auto self = weak.lock()) self->webAudioSettingsArrived(operationID, settings, *reply);
    });
}

void DesktopCoordinator::webAudioSettingsArrived(const std::string& operationID,
                                                 const Result<ShortcutSettingsResponse>& settings,
                                                 WebAudioReply& reply) {
    if (webAudioOperationID_ != operationID) {
        reply.answer(audioErrorReply(kRecordingCancelled));
        return;
    }
    if (!settings) {
        webAudioOperationID_.reset();
        reply.answer(audioErrorReply(kSettingsUnavailable));
        return;
    }
    applyAudioSettings(*settings);
    auto capture = startNativeCapture(operationID);
    if (!capture) {
        finishNativeAudio(operationID, true);
        reply.answer(audioErrorReply(capture.error()));
        return;
    }
    reply.answer(
        json::Json{{"enabled", true}, {"audio_source", capture->audioSource}, {"sample_rate", capture->sampleRate}});
}

void DesktopCoordinator::endWebAudio(const std::string& operationID, WebAudioReply reply) {
    // Only the dashboard's own recording is the page's to end: a stream of a
    // shortcut dictation is never cut by a page naming its id.
    if (webAudioOperationID_ != operationID) {
        reply.answer(ended());
        return;
    }
    const bool streaming = nativeAudioOperationID_ == operationID || nativeAudioFinalizationOperationID_ == operationID;
    if (!streaming) {
        webAudioOperationID_.reset();
        reply.answer(ended());
        return;
    }
    auto pending = std::make_shared<WebAudioReply>(std::move(reply));
    std::weak_ptr<DesktopCoordinator> weak = weak_from_this();
    finishNativeAudio(operationID, false, [weak, pending](Status result) {
        auto self = weak.lock();
        if (!self) return;
        if (result) {
            pending->answer(ended());
        } else if (result.error().reason == kRecordingCancelled.code) {
            pending->answer(self->audioErrorReply(kRecordingCancelled));
        } else {
            pending->answer(
                self->audioErrorReply(CaptureFailureDetail{"audio_engine_unavailable", result.error().message}));
        }
    });
}

void DesktopCoordinator::cancelWebAudio(const std::string& operationID, WebAudioReply reply) {
    // As for an end: the page cancels its own recording, never a dictation.
    if (webAudioOperationID_ == operationID) finishNativeAudio(operationID, true);
    reply.answer(ended());
}

}  // namespace murmo
