#include "platform/linux/LinuxDesktop.h"

#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/EspeakSpeechSynthesizer.h"
#include "platform/linux/ProcfsProcessInfo.h"
#include "platform/linux/PulseAudioContext.h"
#include "platform/linux/PulseAudioCuePlayerFactory.h"
#include "platform/linux/PulseAudioDevices.h"
#include "platform/linux/PulseAudioEngineFactory.h"
#include "platform/linux/PulseAudioPlaybackTarget.h"
#include "platform/linux/PulseMicrophonePermission.h"
#include "platform/linux/X11ClipboardPasteboard.h"
#include "platform/linux/X11KeyTap.h"
#include "platform/linux/X11RawInputListener.h"
#include "platform/linux/X11Workspace.h"
#include "platform/linux/XInputActivity.h"
#include "platform/linux/XInputUserInputWatch.h"
#include "platform/linux/XTestEventPoster.h"

namespace murmo {

namespace {

// The backend, or null after noting why it could not be opened.
template <class Backend>
Backend openedOrNull(Result<Backend> opened, std::string_view capability, std::vector<std::string>& missing) {
    if (opened) return std::move(*opened);
    missing.push_back(std::string(capability) + ": " + opened.error().message);
    return nullptr;
}

// How long opening the desktop may wait for the accessibility bus and for
// the sound server.
constexpr AXMessagingTimeout kAccessibilityConnectTimeout = 1.0f;
constexpr Duration kSoundServerConnectTimeout = std::chrono::seconds(2);

template <class Port, class Real>
Port& realOr(const std::unique_ptr<Real>& real, Port& simulated) {
    return real ? static_cast<Port&>(*real) : simulated;
}

}  // namespace

LinuxDesktop::LinuxDesktop(MainLoop& loop, const EnvironmentMap& environment, std::shared_ptr<const Bundle> mainBundle)
    // Blocking calls cost the simulated ports nothing on a real clock.
    : simulated_(
          loop.clock(), [](Duration) {}, &loop),
      defaults_(environment, Logger("defaults")),
      loginItem_(environment, std::move(mainBundle)) {
    openSound(loop);
    const auto display = environment.find("DISPLAY");
    if (display == environment.end() || display->second.empty()) {
        missing_.push_back(
            "keyboard (the shortcut, posted keys and the input counters): no X display, DISPLAY is not set");
        missing_.push_back(
            "focus and text (accessibility, windows, process records, the clipboard): no X display, DISPLAY is not "
            "set");
        return;
    }
    openFocusAndText(loop, display->second);
    openKeyboard(loop, display->second);
}

LinuxDesktop::~LinuxDesktop() = default;

void LinuxDesktop::openFocusAndText(MainLoop& loop, const std::string& name) {
    auto workspace = openedOrNull(X11Workspace::open(loop, name), "focus and text (the workspace)", missing_);
    auto pasteboard = openedOrNull(X11ClipboardPasteboard::open(name), "focus and text (the clipboard)", missing_);
    if (!workspace || !pasteboard) return;
    workspace_ = std::move(workspace);
    pasteboard_ = std::move(pasteboard);
    processInfo_ = std::make_unique<ProcfsProcessInfo>();
    accessibility_ = std::make_unique<AtspiAccessibility>();
    // Without the bus the port stays real and reports itself untrusted, as a
    // desktop that refuses accessibility does.
    accessibility_->startFocusTracking(kAccessibilityConnectTimeout);
}

void LinuxDesktop::openSound(MainLoop& loop) {
    auto server = PulseAudioContext::connect("Murmo", kSoundServerConnectTimeout);
    if (!server) {
        missing_.push_back("sound (the microphone, audio devices, cues, speech): " +
                           server.error().message);
        return;
    }
    auto devices =
        openedOrNull(PulseAudioDevices::create(*server, kSoundServerConnectTimeout), "sound (audio devices)", missing_);
    if (!devices) return;
    playbackTarget_ = std::make_shared<PulseAudioPlaybackTarget>();
    auto speech =
        openedOrNull(EspeakSpeechSynthesizer::create(loop, *server, playbackTarget_), "sound (speech)", missing_);
    if (!speech) return;
    soundServer_ = std::move(*server);
    audioEngines_ = std::make_shared<PulseAudioEngineFactory>(soundServer_, playbackTarget_);
    audioDevices_ = devices;
    microphonePermission_ = std::make_shared<PulseMicrophonePermission>(loop, std::move(devices));
    cuePlayers_ = std::make_shared<PulseAudioCuePlayerFactory>(soundServer_, playbackTarget_);
    speechSynthesizer_ = std::move(speech);
}

void LinuxDesktop::openKeyboard(MainLoop& loop, const std::string& name) {
    keyTap_ = openedOrNull(X11KeyTap::open(name), "the keyboard shortcut", missing_);
    eventPoster_ = openedOrNull(XTestEventPoster::open(loop, name), "posted keys", missing_);
    // The counters and the watch read the same raw events.
    if (auto listener = openedOrNull(X11RawInputListener::open(name), "the input counters and watch", missing_)) {
        XInputActivity::SecureInputProbe secureInput;
        if (accessibility_)
            secureInput = [accessibility = accessibility_.get()] { return accessibility->isSecureTextFocused(); };
        inputActivity_ = std::make_unique<XInputActivity>(listener, std::move(secureInput));
        userInputWatch_ = std::make_unique<XInputUserInputWatch>(listener);
    }
}

DesktopPorts LinuxDesktop::ports() {
    const auto simulated = simulated_.ports();
    return DesktopPorts{
        .accessibility = realOr(accessibility_, simulated.accessibility),
        .workspace = realOr(workspace_, simulated.workspace),
        .processInfo = realOr(processInfo_, simulated.processInfo),
        .inputActivity = realOr(inputActivity_, simulated.inputActivity),
        .pasteboard = realOr(pasteboard_, simulated.pasteboard),
        .eventPoster = realOr(eventPoster_, simulated.eventPoster),
        .userInputWatch = realOr(userInputWatch_, simulated.userInputWatch),
        .defaults = defaults_,
        .chrome = simulated.chrome,
        .savePanel = simulated.savePanel,
        .alerts = simulated.alerts,
        .statusBar = simulated.statusBar,
        .windows = simulated.windows,
        .loginItem = loginItem_,
        .speechSynthesizer = realOr(speechSynthesizer_, simulated.speechSynthesizer),
        .hud = simulated.hud,
        .textMeasure = textMeasure_,
        .iconRenderer = iconRenderer_,
        .keyTap = keyTap_ ? std::static_pointer_cast<KeyTap>(keyTap_) : simulated.keyTap,
        .audioEngines = audioEngines_ ? audioEngines_ : simulated.audioEngines,
        .audioDevices = audioDevices_ ? audioDevices_ : simulated.audioDevices,
        .microphonePermission = microphonePermission_ ? microphonePermission_ : simulated.microphonePermission,
        .cuePlayers = cuePlayers_ ? cuePlayers_ : simulated.cuePlayers,
    };
}

}  // namespace murmo
