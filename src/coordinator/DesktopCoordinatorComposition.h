#pragma once

// Builds the coordinator's dependencies from one desktop's ports: the same
// composition for the simulated desktop of the tests and the real one of the
// program entry. What differs between them beyond the ports is named here.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "coordinator/DesktopCoordinatorDependencies.h"
#include "engine/CoreProcessSupervisor.h"
#include "engine/CoreTransport.h"
#include "input/ConfirmationWait.h"
#include "platform/DesktopPorts.h"

namespace murmo {

struct DesktopCoordinatorCompositionOptions {
    MainLoop& loop;
    std::shared_ptr<IdGenerator> ids;
    std::shared_ptr<LogSink> logSink;
    // The main bundle: the cues and the engine are looked for in it.
    std::shared_ptr<const Bundle> bundle;
    std::function<std::vector<std::string>()> preferredLanguages;
    // The user's locale ("tr_TR"), for the voice of spoken answers.
    std::function<std::string()> currentLocaleIdentifier;
    // How the engine is launched and its health asked for.
    CoreProcessSupervisorServices supervisor;
    // Carries the engine client's requests and socket; null: a
    // BeastCoreTransport.
    std::shared_ptr<CoreTransport> clientTransport = {};
    // How a shortcut router's start waits for its thread; null: real time.
    std::shared_ptr<ConfirmationWait> routerStartWait = {};
    // Where the microphone capture recovers; null: a serial queue of its own.
    std::shared_ptr<EventLoop> audioRecoveryQueue = {};
};

// Every port and factory, each factory building its collaborator on `ports`.
// The ports and `options`' loop and ids must outlive every coordinator built
// from the result.
DesktopCoordinatorDependencies composeDesktopCoordinator(const DesktopPorts& ports,
                                                         DesktopCoordinatorCompositionOptions options);

}  // namespace murmo
