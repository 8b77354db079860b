#pragma once

// The desktop of a Linux session: every port whose Linux backend exists is
// the real one, and the simulated desktop stands in for the rest (windows,
// tray, the HUD's surface) until their backends land.
// The keyboard ports (the shortcut tap, posted keys, the input counters and
// the input watch) and the focus and text ports (accessibility, the
// workspace, process records, the clipboard) need an X display; without one
// they stay simulated, and missingCapabilities() says why. The focus and text
// ports are real or simulated together: delivery compares what each of them
// says about one process, so a real clipboard beside a simulated focus would
// make no coherent world. The sound ports (the microphone's audio engine,
// audio devices, the microphone's permission, cues, speech) need the sound
// server (PULSE_SERVER or the
// user's own); without one they stay simulated too.

#include <memory>
#include <string>
#include <vector>

#include "platform/DesktopPorts.h"
#include "platform/linux/CairoIconRenderer.h"
#include "platform/linux/JsonFileDefaultsStore.h"
#include "platform/linux/PangoTextMeasure.h"
#include "platform/linux/XdgAutostartLoginItem.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/Environment.h"
#include "runtime/MainLoop.h"

namespace murmo {

class AtspiAccessibility;
class EspeakSpeechSynthesizer;
class PulseAudioContext;
class PulseAudioPlaybackTarget;
class ProcfsProcessInfo;
class X11ClipboardPasteboard;
class X11KeyTap;
class X11Workspace;
class XTestEventPoster;
class XInputActivity;
class XInputUserInputWatch;

class LinuxDesktop {
public:
    // `environment` names the display (DISPLAY) and the XDG folders.
    LinuxDesktop(MainLoop& loop, const EnvironmentMap& environment, std::shared_ptr<const Bundle> mainBundle);
    ~LinuxDesktop();
    LinuxDesktop(const LinuxDesktop&) = delete;
    LinuxDesktop& operator=(const LinuxDesktop&) = delete;

    DesktopPorts ports();
    // What stands in for the ports without a Linux backend.
    SimDesktop& simulated() { return simulated_; }
    // One line per capability that stays simulated for want of what it needs.
    const std::vector<std::string>& missingCapabilities() const { return missing_; }

private:
    void openKeyboard(MainLoop& loop, const std::string& displayName);
    void openFocusAndText(MainLoop& loop, const std::string& displayName);
    void openSound(MainLoop& loop);

    SimDesktop simulated_;
    JsonFileDefaultsStore defaults_;
    XdgAutostartLoginItem loginItem_;
    CairoIconRenderer iconRenderer_;
    PangoTextMeasure textMeasure_;
    // Before the input counters, whose secure-input probe asks it: it is
    // destroyed after them.
    std::unique_ptr<AtspiAccessibility> accessibility_;
    std::unique_ptr<X11Workspace> workspace_;
    std::unique_ptr<ProcfsProcessInfo> processInfo_;
    std::unique_ptr<X11ClipboardPasteboard> pasteboard_;
    std::shared_ptr<X11KeyTap> keyTap_;
    std::unique_ptr<XTestEventPoster> eventPoster_;
    std::unique_ptr<XInputActivity> inputActivity_;
    std::unique_ptr<XInputUserInputWatch> userInputWatch_;
    std::shared_ptr<PulseAudioContext> soundServer_;
    std::shared_ptr<PulseAudioPlaybackTarget> playbackTarget_;
    std::shared_ptr<AudioEngineFactory> audioEngines_;
    std::shared_ptr<AudioDevices> audioDevices_;
    std::shared_ptr<MicrophonePermission> microphonePermission_;
    std::shared_ptr<CuePlayerFactory> cuePlayers_;
    std::unique_ptr<EspeakSpeechSynthesizer> speechSynthesizer_;
    std::vector<std::string> missing_;
};

}  // namespace murmo
