#pragma once

#include <memory>

#include "platform/Accessibility.h"
#include "platform/Alert.h"
#include "platform/AppWindow.h"
#include "platform/AudioDevices.h"
#include "platform/AudioEngine.h"
#include "platform/Chrome.h"
#include "platform/CuePlayer.h"
#include "platform/DefaultsStore.h"
#include "platform/EventPoster.h"
#include "platform/HUDSurface.h"
#include "platform/IconRenderer.h"
#include "platform/InputActivity.h"
#include "platform/KeyTap.h"
#include "platform/LoginItem.h"
#include "platform/MicrophonePermission.h"
#include "platform/Pasteboard.h"
#include "platform/ProcessInfo.h"
#include "platform/SavePanel.h"
#include "platform/SpeechSynthesizer.h"
#include "platform/StatusItem.h"
#include "platform/TextMeasure.h"
#include "platform/UserInputWatch.h"
#include "platform/Workspace.h"

namespace murmo {

// Every port of one desktop, as the composition root (the program entry, a
// test fixture) receives them from a backend: the simulated desktop today, the
// Linux desktop as its backends land. Components never take this struct; they
// take the few ports they use, handed out of it by the root.
//
// The desktop outlives everything built from it, so ports come as references;
// the ones that components keep alive from threads of their own (the key tap's
// thread, the audio thread and its recovery queue, the cue players) come as the
// shared pointers those components hold.
struct DesktopPorts {
    Accessibility& accessibility;
    Workspace& workspace;
    ProcessInfo& processInfo;
    InputActivity& inputActivity;
    Pasteboard& pasteboard;
    EventPoster& eventPoster;
    UserInputWatch& userInputWatch;
    DefaultsStore& defaults;
    Chrome& chrome;
    SavePanel& savePanel;
    Alerts& alerts;
    StatusBar& statusBar;
    AppWindowFactory& windows;
    LoginItem& loginItem;
    SpeechSynthesizer& speechSynthesizer;
    HUDSurface& hud;
    TextMeasure& textMeasure;
    IconRenderer& iconRenderer;
    std::shared_ptr<KeyTap> keyTap;
    std::shared_ptr<AudioEngineFactory> audioEngines;
    std::shared_ptr<AudioDevices> audioDevices;
    std::shared_ptr<MicrophonePermission> microphonePermission;
    std::shared_ptr<CuePlayerFactory> cuePlayers;

    // The same ports with another status bar and window factory (which pass
    // through to these ones, say).
    DesktopPorts withChrome(StatusBar& otherStatusBar, AppWindowFactory& otherWindows) const;
};

}  // namespace murmo
