#pragma once

// The dashboard window on the simulated desktop, for the controller's tests:
// the controller made from the desktop's ports, its window and web view, and
// what the application delegate would hear from it.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/SequentialIdGenerator.h"
#include "platform/sim/SimAppWindow.h"
#include "platform/sim/SimBundle.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimUpdater.h"
#include "runtime/ManualLoop.h"
#include "services/MurmoUpdateConfiguration.h"
#include "shell/dashboard/DashboardWindowController.h"

namespace murmo::testing {

inline constexpr std::string_view kDashboardEngineURL = "http://127.0.0.1:8765";
inline constexpr std::string_view kDashboardToken = "desktop-token-7";
inline constexpr std::string_view kWorkspaceURL = "http://127.0.0.1:8765/workspace";

class DashboardWindowWorld {
public:
    DashboardWindowWorld() { make(); }
    ~DashboardWindowWorld() {
        controller.reset();
        loop.runUntilIdle();
    }

    // A new controller (and window) over the desktop as it is now.
    void make() {
        controller.reset();
        controller = DashboardWindowController::create(
            DashboardWindowPorts{
                .loop = loop,
                .windows = desktop.chrome(),
                .chrome = desktop.chrome(),
                .workspace = desktop.workspace(),
                .defaults = desktop.defaults(),
                .savePanel = desktop.chrome(),
                .pasteboard = desktop.pasteboard(),
                .iconRenderer = desktop.iconRenderer(),
                .selection = {.reader = {.accessibility = desktop.accessibility(),
                                         .workspace = desktop.workspace(),
                                         .processInfo = desktop.processInfo(),
                                         .block = [](Duration) {}},
                              .preferredLanguages = [] { return std::vector<std::string>{"en-US"}; }},
                .permissions = permissions,
                .preferredLanguages = [] { return std::vector<std::string>{"en-US"}; },
            },
            DashboardWindowSettings{.coreURL = *URL::parse(kDashboardEngineURL),
                                    .desktopToken = std::string(kDashboardToken),
                                    .preferences = preferences,
                                    .updates = updates});
        window = desktop.chrome().windows().back();
        view = &window->simWebView();
        controller->onAudioAbandoned = [this] { log.push_back("audio abandoned"); };
        controller->onPermissionsChanged = [this] { log.push_back("permissions changed"); };
        controller->onSidebarPreferenceChanged = [this](NativeSidebarPreference preference) {
            log.push_back("sidebar " + std::string(rawValue(preference)));
        };
        controller->onSettingsRequested = [this](std::optional<NativeSettingsSection> section) {
            log.push_back("settings " + std::string(section ? rawValue(*section) : "none"));
        };
    }

    // The user opens the dashboard and the engine serves the page.
    void showLoaded() {
        controller->showDashboard();
        view->beginProvisionalLoad();
        view->finishLoad();
        loop.runUntilIdle();
    }

    std::vector<std::string> loadedURLs() const {
        std::vector<std::string> urls;
        for (const auto& request : view->loads()) urls.push_back(request.url.text());
        return urls;
    }
    // The scripts evaluated from `from` on, in order.
    std::vector<std::string> evaluatedSince(std::size_t from) const {
        std::vector<std::string> scripts;
        for (auto index = from; index < view->evaluations().size(); ++index) {
            scripts.push_back(view->evaluations()[index].source);
        }
        return scripts;
    }
    const std::vector<std::string>& opened() { return desktop.model().workspace.openRequests; }

    ManualLoop loop;
    SimDesktop desktop{loop};
    SequentialIdGenerator ids;
    SimUpdaterFactory updaters;
    SimBundle bundle{"/Applications/Murmo.app", nlohmann::json{{"CFBundleShortVersionString", "1.2.3"},
                                                               {"CFBundleVersion", "45"},
                                                               {"CFBundleIdentifier", "local.murmo.app"}}};
    std::shared_ptr<NativePreferencesController> preferences =
        NativePreferencesController::create({.loop = loop,
                                             .defaults = desktop.defaults(),
                                             .chrome = desktop.chrome(),
                                             .loginItem = desktop.loginItem(),
                                             .ids = ids,
                                             .preferredLanguages = [] { return std::vector<std::string>{"en-US"}; }});
    std::shared_ptr<PermissionCenter> permissions =
        PermissionCenter::create({.loop = loop,
                                  .microphone = desktop.microphonePermission(),
                                  .accessibility = desktop.accessibility(),
                                  .keyTap = desktop.keyTap(),
                                  .eventPoster = desktop.eventPoster(),
                                  .workspace = desktop.workspace()});
    std::shared_ptr<UpdateCoordinator> updates =
        std::make_shared<UpdateCoordinator>(MurmoUpdateConfiguration::fromBundle(bundle), bundle, updaters, ids);
    std::shared_ptr<DashboardWindowController> controller;
    SimAppWindow* window = nullptr;
    SimWebView* view = nullptr;
    // What the application delegate heard, in order.
    std::vector<std::string> log;
};

}  // namespace murmo::testing
