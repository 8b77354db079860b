#pragma once

// Hands the application delegate the ports it and the objects it builds use,
// out of one desktop's ports: the same composition for the program and the
// tests' simulated desktop.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/DesktopPorts.h"
#include "shell/MurmoAppDelegate.h"

namespace murmo {

struct MurmoAppCompositionOptions {
    MainLoop& loop;
    // The main bundle.
    std::shared_ptr<const Bundle> bundle;
    UpdaterFactory& updaters;
    IdGenerator& ids;
    // The system's preferred languages, most preferred first.
    std::function<std::vector<std::string>()> preferredLanguages = currentPreferredLanguages;
    DesktopCoordinatorDependencies coordinator;
    Logger log = Logger("application");
};

// The ports, and the one permission centre the menus and the dashboard
// share. `ports` and everything in `options` outlive the delegate.
MurmoAppDelegatePorts composeAppDelegate(const DesktopPorts& ports, MurmoAppCompositionOptions options);

}  // namespace murmo
