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
      bundle_(FileSystemBundle::mainBundle()),
      desktop_(loop, currentEnvironment(), bundle_),
      console_(desktop_.simulated().chrome(), desktop_.simulated().chrome(), ConsoleChrome::printToStandardOutput) {
    // The simulated web view asks the engine for each page it loads.
    desktop_.simulated().chrome().setPageFetcher(
        std::make_shared<CoreTransportPageFetcher>(std::make_shared<BeastCoreTransport>(StderrLogSink::shared())));

    const auto ports = desktop_.ports().withChrome(console_.statusBar(), console_.windows());

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
    desktop_.simulated().chrome().setOnTerminated(std::move(onTerminated));
}

void MurmoDesktop::launch() { delegate_->applicationDidFinishLaunching(); }

void MurmoDesktop::terminate() { desktop_.simulated().chrome().terminate(); }

}  // namespace murmo
