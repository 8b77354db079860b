#include "platform/linux/LinuxDesktop.h"

#include "platform/linux/X11KeyTap.h"
#include "platform/linux/X11RawInputListener.h"
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

}  // namespace

LinuxDesktop::LinuxDesktop(MainLoop& loop, const EnvironmentMap& environment, std::shared_ptr<const Bundle> mainBundle)
    // Blocking calls cost the simulated ports nothing on a real clock.
    : simulated_(
          loop.clock(), [](Duration) {}, &loop),
      defaults_(environment, Logger("defaults")),
      loginItem_(environment, std::move(mainBundle)) {
    openKeyboard(loop, environment);
}

LinuxDesktop::~LinuxDesktop() = default;

void LinuxDesktop::openKeyboard(MainLoop& loop, const EnvironmentMap& environment) {
    const auto display = environment.find("DISPLAY");
    if (display == environment.end() || display->second.empty()) {
        missing_.push_back(
            "keyboard (the shortcut, posted keys and the input counters): no X display, DISPLAY is not set");
        return;
    }
    const std::string& name = display->second;
    keyTap_ = openedOrNull(X11KeyTap::open(name), "the keyboard shortcut", missing_);
    eventPoster_ = openedOrNull(XTestEventPoster::open(loop, name), "posted keys", missing_);
    // The counters and the watch read the same raw events.
    if (auto listener = openedOrNull(X11RawInputListener::open(name), "the input counters and watch", missing_)) {
        inputActivity_ = std::make_unique<XInputActivity>(listener);
        userInputWatch_ = std::make_unique<XInputUserInputWatch>(listener);
    }
}

DesktopPorts LinuxDesktop::ports() {
    const auto simulated = simulated_.ports();
    return DesktopPorts{
        .accessibility = simulated.accessibility,
        .workspace = simulated.workspace,
        .processInfo = simulated.processInfo,
        .inputActivity = inputActivity_ ? static_cast<InputActivity&>(*inputActivity_) : simulated.inputActivity,
        .pasteboard = simulated.pasteboard,
        .eventPoster = eventPoster_ ? static_cast<EventPoster&>(*eventPoster_) : simulated.eventPoster,
        .userInputWatch = userInputWatch_ ? static_cast<UserInputWatch&>(*userInputWatch_) : simulated.userInputWatch,
        .defaults = defaults_,
        .chrome = simulated.chrome,
        .savePanel = simulated.savePanel,
        .alerts = simulated.alerts,
        .statusBar = simulated.statusBar,
        .windows = simulated.windows,
        .loginItem = loginItem_,
        .speechSynthesizer = simulated.speechSynthesizer,
        .hud = simulated.hud,
        .textMeasure = textMeasure_,
        .iconRenderer = iconRenderer_,
        .keyTap = keyTap_ ? std::static_pointer_cast<KeyTap>(keyTap_) : simulated.keyTap,
        .audioEngines = simulated.audioEngines,
        .audioDevices = simulated.audioDevices,
        .microphonePermission = simulated.microphonePermission,
        .cuePlayers = simulated.cuePlayers,
    };
}

}  // namespace murmo
