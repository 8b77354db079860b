#pragma once

#include <memory>
#include <string>
#include <vector>

#include "FakeCoreTransport.h"
#include "coordinator/DesktopCoordinator.h"
#include "coordinator/DesktopCoordinatorComposition.h"
#include "platform/sim/RecordingLogSink.h"
#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimBundle.h"
#include "platform/sim/SimDesktop.h"
#include "runtime/ManualLoop.h"

namespace murmo::testing {

// The dictation coordinator composed on the simulated desktop: the same
// composition as the program's, with the simulated ports, cues from the
// source tree, and the engine client on a FakeCoreTransport unless a test
// gives another transport (a BeastCoreTransport to the stand-in engine).
// The supervisor asks for health on a transport of its own, so the client's
// requests are the only ones on `transport`.
class CoordinatorWorld {
public:
    static constexpr std::string_view kToken = "Qm9vdHN0cmFwLXRva2VuLWZvci1jb29yZGluYXRvcg";

    explicit CoordinatorWorld(ManualLoop& loop);

    // Attaching to an engine at 127.0.0.1:8765, Fn/Globe, the fixed token.
    static MurmoLaunchConfiguration attachingConfiguration();

    // What composeDesktopCoordinator is given; tests may change it before
    // makeCoordinator.
    DesktopCoordinatorCompositionOptions& options() { return options_; }
    std::shared_ptr<DesktopCoordinator> makeCoordinator(MurmoLaunchConfiguration configuration,
                                                        std::shared_ptr<UpdateCoordinator> updates = nullptr);
    // What makeCoordinator builds from, for a test that lets another owner
    // (the application delegate) create the coordinator; the collaborators
    // below are recorded as they are made.
    DesktopCoordinatorDependencies makeDependencies();

    // The error cues played so far.
    std::size_t errorCuesPlayed();
    // The HUD errors shown so far (each is announced).
    std::size_t hudErrorsShown() const;

    ManualLoop& loop;
    SimDesktop desktop;
    std::shared_ptr<SequentialIdGenerator> ids = std::make_shared<SequentialIdGenerator>();
    std::shared_ptr<RecordingLogSink> log = std::make_shared<RecordingLogSink>(LogLevel::debug);
    std::shared_ptr<SimBundle> bundle = std::make_shared<SimBundle>();
    std::shared_ptr<FakeCoreTransport> transport = std::make_shared<FakeCoreTransport>();
    std::shared_ptr<FakeCoreTransport> healthTransport = std::make_shared<FakeCoreTransport>();
    std::vector<std::string> preferredLanguages{"en"};

    // What the latest coordinator was built with.
    std::shared_ptr<HUDController> hud;
    std::shared_ptr<VoiceProcessingAudioCapture> microphoneCapture;
    std::shared_ptr<MurmoCoreClient> client;
    std::size_t routersMade = 0;
    // The collaborators' factories in the order they were called.
    std::vector<std::string> factoryCalls;

private:
    DesktopCoordinatorCompositionOptions options_;
};

}  // namespace murmo::testing
