#include "CoordinatorWorld.h"

#include <algorithm>

namespace murmo::testing {

namespace {

CoreProcessSupervisorServices supervisorServices(ManualLoop& loop, const std::shared_ptr<SimBundle>& bundle,
                                                 const std::shared_ptr<RecordingLogSink>& log,
                                                 const std::shared_ptr<FakeCoreTransport>& healthTransport) {
    CoreProcessSupervisorServices services{loop, bundle};
    // No engine is found anywhere unless a test says where one is.
    services.environment = [] { return EnvironmentMap{{"HOME", "/nonexistent"}, {"PATH", "/nonexistent"}}; };
    services.searchPaths = {"/nonexistent", {}};
    services.logger = Logger("core-process", log);
    services.transport = healthTransport;
    return services;
}

}  // namespace

CoordinatorWorld::CoordinatorWorld(ManualLoop& loop)
    : loop(loop),
      desktop(loop),
      options_{loop,
               ids,
               log,
               bundle,
               [this] { return preferredLanguages; },
               [] { return std::string("en_US"); },
               supervisorServices(loop, bundle, log, healthTransport),
               transport} {
    for (const char* name : {"dictation-start", "dictation-success", "dictation-error"}) {
        bundle->addResource(
            std::string(name) + ".wav",
            std::filesystem::path(MURMO_SOURCE_DIR) / "resources" / "Sounds" / (std::string(name) + ".wav"), "Sounds");
    }
}

MurmoLaunchConfiguration CoordinatorWorld::attachingConfiguration() {
    MurmoLaunchConfiguration configuration;
    configuration.coreURL = "http://127.0.0.1:8765";
    configuration.launchCore = false;
    configuration.desktopToken = std::string(kToken);
    return configuration;
}

std::shared_ptr<DesktopCoordinator> CoordinatorWorld::makeCoordinator(MurmoLaunchConfiguration configuration,
                                                                      std::shared_ptr<UpdateCoordinator> updates) {
    return DesktopCoordinator::create(std::move(configuration), std::move(updates), makeDependencies());
}

DesktopCoordinatorDependencies CoordinatorWorld::makeDependencies() {
    auto dependencies = composeDesktopCoordinator(desktop.ports(), options_);
    routersMade = 0;
    factoryCalls.clear();
    auto& factories = dependencies.factories;
    auto recorded = [this](const char* name, auto make) {
        return [this, name, make](auto&&... arguments) {
            factoryCalls.push_back(name);
            return make(std::forward<decltype(arguments)>(arguments)...);
        };
    };
    factories.hud = recorded("hud", [this, make = factories.hud] { return hud = make(); });
    factories.agentSpeech = recorded("agentSpeech", factories.agentSpeech);
    factories.soundFeedback = recorded("soundFeedback", factories.soundFeedback);
    factories.microphoneCapture = recorded(
        "microphoneCapture", [this, make = factories.microphoneCapture] { return microphoneCapture = make(); });
    factories.paster = recorded("paster", factories.paster);
    factories.injector = recorded("injector", factories.injector);
    factories.supervisor = recorded("supervisor", factories.supervisor);
    factories.router = recorded(
        "router", [this, make = factories.router](ShortcutChoice dictation, std::optional<ShortcutChoice> agent) {
            ++routersMade;
            return make(dictation, agent);
        });
    factories.client =
        recorded("client", [this, make = factories.client](std::string baseURL, std::string desktopToken) {
            return client = make(std::move(baseURL), std::move(desktopToken));
        });
    return dependencies;
}

std::size_t CoordinatorWorld::errorCuesPlayed() {
    auto calls = desktop.cuePlayers().calls();
    return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [](const SimCuePlayerCall& call) {
        return call.action == SimCuePlayerCall::Action::play && call.file.find("dictation-error") != std::string::npos;
    }));
}

std::size_t CoordinatorWorld::hudErrorsShown() const {
    const auto& log = desktop.model().hud.log;
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [](const SimHUDLogEntry& entry) { return entry.event.starts_with("announce "); }));
}

}  // namespace murmo::testing
