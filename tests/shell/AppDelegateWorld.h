#pragma once

// The application delegate on the simulated desktop in virtual time: the
// coordinator from CoordinatorWorld (attached to an engine behind a fake
// transport), the dashboard's window and web view from SimChrome, and a hook
// that sees the moment the coordinator first reaches for the engine.

#include <functional>
#include <memory>
#include <string>

#include "platform/sim/SimAppWindow.h"
#include "platform/sim/SimChrome.h"
#include "platform/sim/SimStatusItem.h"
#include "platform/sim/SimUpdater.h"
#include "platform/sim/SimWebView.h"
#include "runtime/ManualLoop.h"
#include "shell/MurmoAppComposition.h"
#include "shell/MurmoAppDelegate.h"
#include "support/CoordinatorWorld.h"
#include "support/FakeChildProcess.h"
#include "support/FixedBundle.h"
#include "support/TemporaryDirectory.h"

namespace murmo::testing {

// Passes every exchange on, telling `onUse` first.
class ObservedTransport final : public CoreTransport {
public:
    explicit ObservedTransport(std::shared_ptr<CoreTransport> inner) : inner_(std::move(inner)) {}

    void sendHTTP(CoreHTTPRequest request, CoreHTTPCompletion completion) override {
        if (onUse) onUse();
        inner_->sendHTTP(std::move(request), std::move(completion));
    }
    std::shared_ptr<CoreWebSocket> openWebSocket(CoreWebSocketRequest request) override {
        if (onUse) onUse();
        return inner_->openWebSocket(std::move(request));
    }

    std::function<void()> onUse;

private:
    std::shared_ptr<CoreTransport> inner_;
};

class AppDelegateWorld {
public:
    AppDelegateWorld() { world.options().clientTransport = observed; }

    ~AppDelegateWorld() {
        // The coordinator stops before the desktop under it goes.
        if (delegate && delegate->coordinator() && !delegate->didFinishShutdown()) {
            delegate->coordinator()->shutdown([] {});
            loop.runUntilIdle();
        }
    }

    SimDesktop& desktop() { return world.desktop; }
    SimChrome& chrome() { return world.desktop.chrome(); }

    // The coordinator launches an engine instead of attaching to one: a fake
    // child that ends on the signals given (none: only a kill ends it).
    void launchesEngine(std::set<int> endingSignals) {
        engineTree.writeExecutable("Murmo.app/Contents/MacOS/MurmoCore");
        auto& services = world.options().supervisor;
        services.mainBundle = std::make_shared<FixedBundle>(engineTree.path() / "Murmo.app");
        services.environment = [this] {
            return EnvironmentMap{{"HOME", (engineTree.path() / "home").string()},
                                  {"XDG_DATA_HOME", (engineTree.path() / "data").string()},
                                  {"PATH", "/usr/bin:/bin"}};
        };
        services.searchPaths = {engineTree.path(), {}};
        services.launcher = [this, endingSignals](
                                const ChildProcessRequest&, ChildProcess::OutputHandler onOutput,
                                ChildProcess::ExitHandler onExit) -> Result<std::shared_ptr<ChildProcess>> {
            auto child = std::make_shared<FakeChildProcess>();
            child->exitsOn(endingSignals);
            child->setHandlers(std::move(onOutput), std::move(onExit));
            engines.push_back(child);
            return child;
        };
        configuration.launchCore = true;
    }

    MurmoAppDelegate& make() {
        delegate = MurmoAppDelegate::create(
            configuration,
            composeAppDelegate(world.desktop.ports(), MurmoAppCompositionOptions{
                                                          .loop = loop,
                                                          .bundle = world.bundle,
                                                          .updaters = updaters,
                                                          .ids = *world.ids,
                                                          .preferredLanguages = [this] { return preferred; },
                                                          .coordinator = world.makeDependencies(),
                                                          .log = Logger("application", world.log),
                                                      }));
        return *delegate;
    }

    MurmoAppDelegate& launch() {
        if (!delegate) make();
        delegate->applicationDidFinishLaunching();
        loop.runUntilIdle();
        return *delegate;
    }

    SimAppWindow& window() { return *chrome().windows().at(0); }
    SimWebView& page() { return window().simWebView(); }
    SimStatusItem& statusItem() { return *chrome().statusItems().at(0); }
    // The status menu's first line.
    std::string stateLine() { return statusItem().menu()->items.at(0).title; }

    // The page finishes loading what the dashboard asked for.
    void finishPageLoad() {
        page().beginProvisionalLoad();
        page().finishLoad();
        loop.runUntilIdle();
    }

    ManualLoop loop;
    CoordinatorWorld world{loop};
    std::shared_ptr<ObservedTransport> observed = std::make_shared<ObservedTransport>(world.transport);
    SimUpdaterFactory updaters;
    std::vector<std::string> preferred{"en"};
    MurmoLaunchConfiguration configuration = CoordinatorWorld::attachingConfiguration();
    TemporaryDirectory engineTree;
    std::vector<std::shared_ptr<FakeChildProcess>> engines;
    std::shared_ptr<MurmoAppDelegate> delegate;
};

}  // namespace murmo::testing
