#pragma once

// What the dictation coordinator is built from: the desktop ports it uses
// itself, and one factory per collaborator it owns. The composition root
// fills both (composeDesktopCoordinator does it from a desktop's ports);
// tests replace single factories to put a fake transport or a scripted
// engine launcher behind the same coordinator.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "coordinator/AgentSpeechController.h"
#include "delivery/ClipboardPaster.h"
#include "delivery/FocusTextInjector.h"
#include "delivery/LiveDictationWriter.h"
#include "engine/CoreProcessSupervisor.h"
#include "engine/MurmoCoreClient.h"
#include "input/GlobalShortcutRouter.h"
#include "input/ShortcutCaptureMonitor.h"
#include "input/SoundFeedbackController.h"
#include "input/VoiceProcessingAudioCapture.h"
#include "input/hud/HUDController.h"
#include "platform/AudioDevices.h"
#include "platform/Bundle.h"
#include "platform/CuePlayer.h"
#include "platform/DefaultsStore.h"
#include "platform/EventPoster.h"
#include "platform/InputActivity.h"
#include "platform/KeyTap.h"
#include "platform/MicrophonePermission.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "runtime/Ids.h"
#include "runtime/Logger.h"
#include "runtime/MainLoop.h"

namespace murmo {

// The ports the coordinator reaches directly. Every one outlives it.
struct DesktopCoordinatorPorts {
    // The main loop; its clock is the coordinator's clock.
    MainLoop& loop;
    IdGenerator& ids;
    std::shared_ptr<LogSink> logSink;
    Workspace& workspace;
    InputActivity& inputActivity;
    std::shared_ptr<AudioDevices> audioDevices;
    std::shared_ptr<MicrophonePermission> microphonePermission;
    DefaultsStore& defaults;
    std::shared_ptr<KeyTap> keyTap;
    std::shared_ptr<const Bundle> bundle;
    std::shared_ptr<CuePlayerFactory> cuePlayers;
    Pasteboard& pasteboard;
    EventPoster& eventPoster;
    // The user's preferred interface languages, most preferred first: what
    // the "system" language resolves against.
    std::function<std::vector<std::string>()> preferredLanguages;
};

// One factory per collaborator, called in construction order (and the router
// factory again whenever the shortcuts change).
struct DesktopCoordinatorFactories {
    std::function<std::shared_ptr<HUDController>()> hud;
    std::function<std::unique_ptr<AgentSpeechController>()> agentSpeech;
    std::function<std::unique_ptr<SoundFeedbackController>()> soundFeedback;
    std::function<std::shared_ptr<VoiceProcessingAudioCapture>()> microphoneCapture;
    std::function<std::shared_ptr<ClipboardPaster>(ClipboardPasterOptions)> paster;
    std::function<std::shared_ptr<FocusTextInjector>(std::shared_ptr<ClipboardPaster>)> injector;
    std::function<std::shared_ptr<CoreProcessSupervisor>()> supervisor;
    std::function<std::unique_ptr<GlobalShortcutRouter>(ShortcutChoice dictation, std::optional<ShortcutChoice> agent)>
        router;
    std::function<std::shared_ptr<ShortcutCaptureMonitor>()> shortcutCaptureMonitor;
    std::function<std::shared_ptr<MurmoCoreClient>(std::string baseURL, std::string desktopToken)> client;
    // A writer for the current focus, or null when nothing may be written.
    std::function<std::shared_ptr<LiveDictationWriter>()> liveWriter;
};

struct DesktopCoordinatorDependencies {
    DesktopCoordinatorPorts ports;
    DesktopCoordinatorFactories factories;
};

}  // namespace murmo
