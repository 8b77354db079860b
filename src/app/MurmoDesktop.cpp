#include "app/MurmoDesktop.h"

#include <algorithm>

#include "coordinator/DesktopCoordinatorComposition.h"
#include "engine/BeastCoreTransport.h"
#include "engine/CoreTransportPageFetcher.h"
#include "runtime/Environment.h"
#include "runtime/StderrLogSink.h"
#include "services/NativeAppLanguage.h"
#include "shell/MurmoAppComposition.h"

namespace murmo {

namespace {

// The user's locale as "tr_TR", from the most preferred language.
std::string currentLocaleIdentifier() {
    const auto preferred = currentPreferredLanguages();
    if (preferred.empty()) return "en_US";
    auto identifier = preferred.front();
    std::ranges::replace(identifier, '-', '_');
    return identifier;
}

}  // namespace

MurmoDesktop::MurmoDesktop(GLibLoop& loop, MurmoLaunchConfiguration configuration)
    : loop_(loop),
      // Blocking calls cost the simulated desktop nothing on a real clock.
      desktop_(
          loop.clock(), [](Duration) {}, &loop),
      bundle_(FileSystemBundle::mainBundle()),
      defaults_(currentEnvironment(), Logger("defaults")),
      console_(desktop_.chrome(), desktop_.chrome(), ConsoleChrome::printToStandardOutput) {
    // The simulated web view asks the engine for each page it loads.
    desktop_.chrome().setPageFetcher(
        std::make_shared<CoreTransportPageFetcher>(std::make_shared<BeastCoreTransport>(StderrLogSink::shared())));

    const auto simulated = desktop_.ports();
    const DesktopPorts ports{
        .accessibility = simulated.accessibility,
        .workspace = simulated.workspace,
        .processInfo = simulated.processInfo,
        .inputActivity = simulated.inputActivity,
        .pasteboard = simulated.pasteboard,
        .eventPoster = simulated.eventPoster,
        .userInputWatch = simulated.userInputWatch,
        .defaults = defaults_,
        .chrome = simulated.chrome,
        .savePanel = simulated.savePanel,
        .alerts = simulated.alerts,
        .statusBar = console_.statusBar(),
        .windows = console_.windows(),
        .loginItem = simulated.loginItem,
        .speechSynthesizer = simulated.speechSynthesizer,
        .hud = simulated.hud,
        .textMeasure = simulated.textMeasure,
        .iconRenderer = simulated.iconRenderer,
        .keyTap = simulated.keyTap,
        .audioEngines = simulated.audioEngines,
        .audioDevices = simulated.audioDevices,
        .microphonePermission = simulated.microphonePermission,
        .cuePlayers = simulated.cuePlayers,
    };

    auto coordinator = composeDesktopCoordinator(
        ports, DesktopCoordinatorCompositionOptions{
                   .loop = loop,
                   .ids = ids_,
                   .logSink = StderrLogSink::shared(),
                   .bundle = bundle_,
                   .preferredLanguages = currentPreferredLanguages,
                   .currentLocaleIdentifier = currentLocaleIdentifier,
                   .supervisor = CoreProcessSupervisorServices{.loop = loop, .mainBundle = bundle_},
               });

    delegate_ = MurmoAppDelegate::create(std::move(configuration),
                                         composeAppDelegate(ports, MurmoAppCompositionOptions{
                                                                       .loop = loop,
                                                                       .bundle = bundle_,
                                                                       .updaters = updaters_,
                                                                       .ids = *ids_,
                                                                       .coordinator = std::move(coordinator),
                                                                   }));
}

MurmoDesktop::~MurmoDesktop() = default;

void MurmoDesktop::setOnTerminated(std::function<void()> onTerminated) {
    desktop_.chrome().setOnTerminated(std::move(onTerminated));
}

void MurmoDesktop::launch() { delegate_->applicationDidFinishLaunching(); }

void MurmoDesktop::terminate() { desktop_.chrome().terminate(); }

}  // namespace murmo
